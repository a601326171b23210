#include "platform/folder_listing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "posix/entries.h"

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
  const char* path = relative.empty() ? "." : relative.c_str();
  UniqueFd folder(
      syscalls().openAt(rootFd, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (!folder.valid()) return OsError::fromErrno("openat", relative);
  struct stat st {};
  if (syscalls().fstat(folder.get(), &st) != 0) return OsError::fromErrno("fstat", relative);
  identity = identityOf(st);
  const OsError listed = forEachEntry(folder.get(), [&](const dirent& d) {
    if (d.d_type != DT_REG && d.d_type != DT_DIR && d.d_type != DT_UNKNOWN) return;
    if (isTransferTemporary(d.d_name)) return;
    if (syscalls().fstatat(folder.get(), d.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return;
    entries.push_back(FolderEntry{
        .name = d.d_name,
        .kind = S_ISDIR(st.st_mode) ? FolderEntry::Kind::Folder : FolderEntry::Kind::File,
        .identity = identityOf(st)});
  });
  if (listed) return OsError(listed.code(), listed.operation(), relative);
  return {};
}

}  // namespace msifter::platform
