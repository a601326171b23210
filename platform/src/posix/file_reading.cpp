#include "platform/file_reading.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cerrno>
#include <mutex>

namespace msifter::platform {

FileIdentity identityOf(const struct stat& st) {
  return FileIdentity{.device = static_cast<uint64_t>(st.st_dev),
                      .inode = static_cast<uint64_t>(st.st_ino),
                      .size = static_cast<int64_t>(st.st_size),
                      .modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec),
                      .modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec),
                      .changedSeconds = static_cast<int64_t>(st.st_ctim.tv_sec),
                      .changedNanoseconds = static_cast<int64_t>(st.st_ctim.tv_nsec)};
}

namespace {
int openFlags(LastLink link) {
  return O_RDONLY | O_CLOEXEC | O_NONBLOCK | (link == LastLink::Refuse ? O_NOFOLLOW : 0);
}
}  // namespace

OsError ReadOnlyFile::open(int folderFd, const std::string& path, LastLink link) {
  fd_ = UniqueFd(syscalls().openAt(folderFd, path.c_str(), openFlags(link), 0));
  return takeIdentity(path);
}

OsError ReadOnlyFile::open(const std::string& path, LastLink link) {
  fd_ = UniqueFd(syscalls().open(path.c_str(), openFlags(link), 0));
  return takeIdentity(path);
}

OsError ReadOnlyFile::takeIdentity(const std::string& path) {
  if (!fd_.valid()) return OsError::fromErrno("open", path);
  struct stat st {};
  if (syscalls().fstat(fd_.get(), &st) != 0) {
    const OsError e = OsError::fromErrno("fstat", path);
    fd_.reset();
    return e;
  }
  if (!S_ISREG(st.st_mode)) {
    fd_.reset();
    return OsError(EINVAL, "open", path);
  }
  identity_ = identityOf(st);
  return {};
}

OsError ReadOnlyFile::read(unsigned char* buffer, std::size_t count, std::size_t& got) {
  got = 0;
  while (got < count) {
    const ssize_t n = syscalls().read(fd_.get(), buffer + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return OsError::fromErrno("read");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return {};
}

OsError ReadOnlyFile::seek(int64_t offset) {
  if (syscalls().lseek(fd_.get(), offset, SEEK_SET) != offset) return OsError::fromErrno("lseek");
  return {};
}

bool ReadOnlyFile::unchanged() const {
  struct stat st {};
  return fd_.valid() && syscalls().fstat(fd_.get(), &st) == 0 && identityOf(st) == identity_;
}

OsError ReadOnlyFile::map(int64_t offset, std::size_t count, FileWindow& window) const {
  window.reset();
  if (count == 0) return {};
  void* address = syscalls().mmap(nullptr, count, PROT_READ, MAP_SHARED | MAP_POPULATE, fd_.get(),
                                  static_cast<off_t>(offset));
  if (address == MAP_FAILED) return OsError::fromErrno("mmap");
  window.address_ = address;
  window.size_ = count;
  return {};
}

void FileWindow::reset() {
  if (address_ != nullptr) syscalls().munmap(address_, size_);
  address_ = nullptr;
  size_ = 0;
}

namespace {

thread_local sigjmp_buf* guardedRead = nullptr;
struct sigaction beforeUs {};

void onBusError(int /*signal*/) {
  if (guardedRead != nullptr) siglongjmp(*guardedRead, 1);
  // Not a read of ours: the fault repeats under the action that was there
  // before (sigaction(2) itself, as the seam is no place for a handler).
  ::sigaction(SIGBUS, &beforeUs, nullptr);
}

}  // namespace

bool readMapped(void (*visit)(void*), void* context) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_handler = onBusError;
    sigemptyset(&action.sa_mask);
    syscalls().sigaction(SIGBUS, &action, &beforeUs);
  });
  sigjmp_buf jump;
  if (sigsetjmp(jump, 1) != 0) {
    guardedRead = nullptr;
    return false;
  }
  guardedRead = &jump;
  visit(context);
  guardedRead = nullptr;
  return true;
}

OsError identityAt(int folderFd, const std::string& path, LastLink link, FileIdentity& identity) {
  struct stat st {};
  const int flags = link == LastLink::Refuse ? AT_SYMLINK_NOFOLLOW : 0;
  if (syscalls().fstatat(folderFd, path.c_str(), &st, flags) != 0)
    return OsError::fromErrno("fstatat", path);
  if (!S_ISREG(st.st_mode)) return OsError(EINVAL, "fstatat", path);
  identity = identityOf(st);
  return {};
}

}  // namespace msifter::platform
