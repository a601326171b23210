#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"

namespace msifter::platform {

namespace {

DIR* asDir(void* stream) { return static_cast<DIR*>(stream); }

unsigned char upperByte(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool entryNameLess(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ua = upperByte(static_cast<unsigned char>(a[i]));
    const unsigned char ub = upperByte(static_cast<unsigned char>(b[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  // Same name apart from case: only possible on a case-sensitive file system.
  return std::memcmp(a.data(), b.data(), n) < 0;
}

Directory::~Directory() { close(); }

int Directory::open(const std::string& folder) {
  close();
  const int fd = syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return errno;
  DIR* dir = syscalls().fdopendir(fd);
  if (dir == nullptr) {
    const int e = errno;
    syscalls().close(fd);
    return e;
  }
  stream_ = dir;
  return 0;
}

int Directory::read(std::vector<DirEntry>& entries) {
  entries.clear();
  if (stream_ == nullptr) return EBADF;
  DIR* dir = asDir(stream_);
  const int fd = ::dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* d = syscalls().readdir(dir);
    if (d == nullptr) {
      if (errno != 0) return errno;
      break;
    }
    if (isDotOrDotDot(d->d_name) || isTransferTemporary(d->d_name)) continue;
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems do not fill d_type; ask for this entry only.
      struct stat st {};
      if (syscalls().fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // removed while we read
        return errno;
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
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return entryNameLess(a.name, b.name); });
  return 0;
}

int Directory::fileSize(const std::string& name, int64_t& size) const {
  if (stream_ == nullptr) return EBADF;
  const int fd = ::dirfd(asDir(stream_));
  struct stat st {};
  if (syscalls().fstatat(fd, name.c_str(), &st, 0) != 0) {
    const int e = errno;
    // A link whose target cannot be reached still is an entry of the
    // folder: take the link itself.
    if (syscalls().fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) return e;
  }
  size = static_cast<int64_t>(st.st_size);
  return 0;
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
