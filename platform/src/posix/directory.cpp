#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/source_tree.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

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
  struct stat st {};
  if (syscalls().stat(path.c_str(), &st) != 0) return OsError::fromErrno("stat", path);
  identity = identityOf(st);
  return {};
}

Directory::~Directory() { close(); }

OsError Directory::open(const std::string& folder) {
  close();
  UniqueFd fd(syscalls().open(folder.c_str(), kFolderFlags, 0));
  if (!fd.valid()) return OsError::fromErrno("open", folder);
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
  // A stream of its own: closing it leaves the folder's descriptor open.
  const int listingFd = syscalls().openAt(fd_.get(), ".", kFolderFlags, 0);
  if (listingFd < 0) return OsError::fromErrno("openat");
  DIR* listing = syscalls().fdopendir(listingFd);
  if (listing == nullptr) {
    const OsError e = OsError::fromErrno("fdopendir");
    syscalls().close(listingFd);
    return e;
  }
  OsError result;
  for (;;) {
    errno = 0;
    const dirent* d = syscalls().readdir(listing);
    if (d == nullptr) {
      if (errno != 0) result = OsError::fromErrno("readdir");
      break;
    }
    if (isDotOrDotDot(d->d_name) || isTransferTemporary(d->d_name)) continue;
    unsigned char type = DT_UNKNOWN;
    bool link = false;
    if ((result = kindOf(fd_.get(), *d, type, link))) break;
    // Pipes, sockets and devices are not files a user sorts; opening one
    // could block the run.
    if (type != DT_DIR && type != DT_REG) continue;
    entries.push_back(DirEntry{d->d_name, type == DT_DIR, link});
  }
  syscalls().closedir(listing);
  return result;
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
