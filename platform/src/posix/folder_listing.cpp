// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder_listing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"

namespace msifter::platform {

OsError openTreeRoot(const std::string& path, UniqueFd& root, FileIdentity& identity) {
  root = UniqueFd(syscalls().open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!root.valid()) return OsError::fromErrno("open", path);
  struct stat st {};
  if (syscalls().fstat(root.get(), &st) != 0) return OsError::fromErrno("fstat", path);
  identity = identityOf(st);
  return {};
}

OsError folderIdentity(int rootFd, const std::string& relative, FileIdentity& identity) {
  struct stat st {};
  if (syscalls().fstatat(rootFd, relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return OsError::fromErrno("fstatat", relative);
  if (!S_ISDIR(st.st_mode)) return OsError(ENOTDIR, "fstatat", relative);
  identity = identityOf(st);
  return {};
}

OsError listFolder(int rootFd, const std::string& relative, FileIdentity& identity,
                   std::vector<FolderEntry>& entries) {
  entries.clear();
  Directory folder;
  if (OsError e = folder.open(rootFd, relative.empty() ? "." : relative, LastLink::Refuse))
    return OsError(e.code(), e.operation(), relative);
  if (OsError e = folder.identity(identity)) return OsError(e.code(), e.operation(), relative);
  if (OsError e = folder.readLooked(entries)) return OsError(e.code(), e.operation(), relative);
  return {};
}

}  // namespace msifter::platform
