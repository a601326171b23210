#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"

namespace msifter::platform {

namespace {

DIR* asDir(void* stream) { return static_cast<DIR*>(stream); }

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

Directory::~Directory() { close(); }

OsError Directory::open(const std::string& folder) {
  close();
  const int fd = syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return OsError::fromErrno("open", folder);
  DIR* dir = syscalls().fdopendir(fd);
  if (dir == nullptr) {
    const OsError e = OsError::fromErrno("fdopendir", folder);
    syscalls().close(fd);
    return e;
  }
  stream_ = dir;
  return {};
}

OsError Directory::read(std::vector<DirEntry>& entries) {
  entries.clear();
  if (stream_ == nullptr) return OsError(EBADF, "readdir");
  DIR* dir = asDir(stream_);
  const int fd = ::dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* d = syscalls().readdir(dir);
    if (d == nullptr) {
      if (errno != 0) return OsError::fromErrno("readdir");
      break;
    }
    if (isDotOrDotDot(d->d_name) || isTransferTemporary(d->d_name)) continue;
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems do not fill d_type; ask for this entry only.
      struct stat st {};
      if (syscalls().fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // removed while we read
        return OsError::fromErrno("fstatat", d->d_name);
      }
      type = IFTODT(st.st_mode);
    }
    if (type == DT_LNK) {
      // A link counts as what it leads to; one that leads nowhere is a file.
      struct stat st {};
      type = syscalls().fstatat(fd, d->d_name, &st, 0) == 0 ? IFTODT(st.st_mode)
                                                            : static_cast<unsigned>(DT_REG);
      if (type == DT_DIR) continue;
    }
    // Pipes, sockets and devices are not files a user sorts; opening one
    // could block the run.
    if (type != DT_DIR && type != DT_REG) continue;
    entries.push_back(DirEntry{d->d_name, type == DT_DIR});
  }
  return {};
}

OsError Directory::fileSize(const std::string& name, int64_t& size) const {
  if (stream_ == nullptr) return OsError(EBADF, "fstatat", name);
  const int fd = ::dirfd(asDir(stream_));
  struct stat st {};
  if (syscalls().fstatat(fd, name.c_str(), &st, 0) != 0) {
    const OsError e = OsError::fromErrno("fstatat", name);
    // A link whose target cannot be reached still is an entry of the
    // folder: take the link itself.
    if (syscalls().fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
      return e;
  }
  size = static_cast<int64_t>(st.st_size);
  return {};
}

void Directory::close() {
  if (stream_ != nullptr) {
    syscalls().closedir(asDir(stream_));
    stream_ = nullptr;
  }
}

bool entryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && syscalls().lstat(path.c_str(), &st) == 0;
}

}  // namespace msifter::platform
