// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/source_tree.h"
#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The kind of the entry `d` of the folder at `fd` as the finder counts it:
// a link is what it leads to, one that leads nowhere a file. DT_UNKNOWN
// when the entry went while it was looked at.
OsError kindOf(int fd, const dirent& d, unsigned char& type, bool& link) {
  type = d.d_type;
  struct stat st {};
  if (type == DT_UNKNOWN) {
    // Some file systems do not fill d_type; ask for this entry only.
    if (syscalls().fstatat(fd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? OsError() : OsError::fromErrno("fstatat", d.d_name);
    type = IFTODT(st.st_mode);
  }
  link = type == DT_LNK;
  if (type == DT_LNK) {
    type = syscalls().fstatat(fd, d.d_name, &st, 0) == 0 ? IFTODT(st.st_mode)
                                                         : static_cast<unsigned char>(DT_REG);
    // Never descended, never listed.
    if (type == DT_DIR) type = DT_LNK;
  }
  return {};
}

}  // namespace

OsError identityOf(const std::string& path, FileIdentity& identity) {
  return identityOf(path, LastLink::Follow, identity);
}

OsError identityOf(const std::string& path, LastLink link, FileIdentity& identity) {
  struct stat st {};
  const bool follow = link == LastLink::Follow;
  if ((follow ? syscalls().stat(path.c_str(), &st) : syscalls().lstat(path.c_str(), &st)) != 0)
    return OsError::fromErrno(follow ? "stat" : "lstat", path);
  identity = identityOf(st);
  return {};
}

OsError openFolderForLooks(const std::string& folder, UniqueFd& looks) {
  looks = UniqueFd(syscalls().open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  return looks.valid() ? OsError() : OsError::fromErrno("open", folder);
}

OsError lookAt(int folderFd, const std::string& name, LastLink link, FileIdentity& identity) {
  struct stat st {};
  const int flags = link == LastLink::Refuse ? AT_SYMLINK_NOFOLLOW : 0;
  if (syscalls().fstatat(folderFd, name.c_str(), &st, flags) != 0)
    return OsError::fromErrno("fstatat", name);
  identity = identityOf(st);
  return {};
}

OsError Directory::open(const std::string& folder) {
  close();
  UniqueFd fd(syscalls().open(folder.c_str(), kFolderFlags, 0));
  if (!fd.valid()) return OsError::fromErrno("open", folder);
  fd_ = std::move(fd);
  return {};
}

OsError Directory::open(int folderFd, const std::string& relative, LastLink link) {
  close();
  const int flags = kFolderFlags | (link == LastLink::Refuse ? O_NOFOLLOW : 0);
  UniqueFd fd(syscalls().openAt(folderFd, relative.c_str(), flags, 0));
  if (!fd.valid()) return OsError::fromErrno("openat", relative);
  fd_ = std::move(fd);
  return {};
}

OsError Directory::openChild(const Directory& parent, const std::string& name) {
  close();
  return openSubfolder(parent.fd_.get(), name, fd_);
}

OsError Directory::openBeneath(const Directory& base, std::string_view relative) {
  close();
  return openFolderBeneath(base.fd_.get(), relative, fd_);
}

OsError Directory::read(std::vector<DirEntry>& entries) {
  entries.clear();
  if (!fd_.valid()) return OsError(EBADF, "readdir");
  OsError kindFailure;
  const OsError listed = forEachEntryUntil(fd_.get(), [&](const dirent& d) {
    if (isTransferTemporary(d.d_name)) return true;
    unsigned char type = DT_UNKNOWN;
    bool link = false;
    if ((kindFailure = kindOf(fd_.get(), d, type, link))) return false;
    // Pipes, sockets and devices are not files a user sorts; opening one
    // could block the run.
    if (type == DT_DIR || type == DT_REG)
      entries.push_back(DirEntry{d.d_name, type == DT_DIR, link});
    return true;
  });
  return listed ? listed : kindFailure;
}

OsError Directory::readLooked(std::vector<FolderEntry>& entries) const {
  entries.clear();
  if (!fd_.valid()) return OsError(EBADF, "readdir");
  return forEachEntry(fd_.get(), [&](const dirent& d) {
    if (d.d_type != DT_REG && d.d_type != DT_DIR && d.d_type != DT_UNKNOWN) return;
    if (isTransferTemporary(d.d_name)) return;
    struct stat st {};
    if (syscalls().fstatat(fd_.get(), d.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return;
    entries.push_back(FolderEntry{
        .name = d.d_name,
        .kind = S_ISDIR(st.st_mode) ? FolderEntry::Kind::Folder : FolderEntry::Kind::File,
        .identity = identityOf(st)});
  });
}

OsError Directory::names(std::vector<std::string>& names) const {
  names.clear();
  if (!fd_.valid()) return OsError(EBADF, "readdir");
  return forEachEntry(fd_.get(), [&names](const dirent& d) { names.emplace_back(d.d_name); });
}

OsError Directory::eachName(const std::function<void(std::string_view)>& visit) const {
  if (!fd_.valid()) return OsError(EBADF, "readdir");
  return forEachEntry(fd_.get(), [&visit](const dirent& d) { visit(d.d_name); });
}

bool Directory::hasEntry(const std::string& name) const {
  struct stat st {};
  return fd_.valid() && syscalls().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

OsError Directory::hasEntries(bool& any) const {
  any = false;
  if (!fd_.valid()) return OsError(EBADF, "readdir");
  return forEachEntryUntil(fd_.get(), [&any](const dirent&) { return !(any = true); });
}

OsError Directory::fileSize(const std::string& name, int64_t& size) const {
  FileIdentity identity;
  if (OsError e = fileIdentity(name, identity)) return e;
  size = identity.size;
  return {};
}

OsError Directory::fileIdentity(const std::string& name, FileIdentity& identity) const {
  if (!fd_.valid()) return OsError(EBADF, "fstatat", name);
  struct stat st {};
  if (syscalls().fstatat(fd_.get(), name.c_str(), &st, 0) != 0) {
    const OsError e = OsError::fromErrno("fstatat", name);
    // A link whose target cannot be reached still is an entry of the
    // folder: take the link itself.
    if (syscalls().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(st.st_mode))
      return e;
  }
  identity = identityOf(st);
  return {};
}

OsError Directory::identity(FileIdentity& identity) const {
  struct stat st {};
  if (syscalls().fstat(fd_.get(), &st) != 0) return OsError::fromErrno("fstat");
  identity = identityOf(st);
  return {};
}

void Directory::close() { fd_.reset(); }

bool entryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && syscalls().lstat(path.c_str(), &st) == 0;
}

}  // namespace msifter::platform
