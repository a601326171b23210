// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_reading.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/own_files.h"
#include "platform/syscalls.h"

namespace msifter::platform {

FileIdentity identityOf(const struct stat& st) {
  using enum FileIdentity::Kind;
  const FileIdentity::Kind kind = S_ISREG(st.st_mode)   ? File
                                  : S_ISDIR(st.st_mode) ? Folder
                                  : S_ISLNK(st.st_mode) ? Link
                                                        : Other;
  return FileIdentity{.device = static_cast<uint64_t>(st.st_dev),
                      .inode = static_cast<uint64_t>(st.st_ino),
                      .size = static_cast<int64_t>(st.st_size),
                      .modifiedSeconds = static_cast<int64_t>(st.st_mtim.tv_sec),
                      .modifiedNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec),
                      .changedSeconds = static_cast<int64_t>(st.st_ctim.tv_sec),
                      .changedNanoseconds = static_cast<int64_t>(st.st_ctim.tv_nsec),
                      .kind = kind};
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

OsError ReadOnlyFile::readAt(int64_t offset, void* buffer, std::size_t count,
                             std::size_t& got) const {
  return platform::readAt(fd_.get(), offset, buffer, count, got);
}

bool ReadOnlyFile::unchanged() const {
  struct stat st {};
  return fd_.valid() && syscalls().fstat(fd_.get(), &st) == 0 && identityOf(st) == identity_;
}

OsError ReadOnlyFile::map(int64_t offset, std::size_t count, FileWindow& window,
                          Paging paging) const {
  window.reset();
  if (count == 0) return {};
  const int flags = paging == Paging::AllNow ? MAP_SHARED | MAP_POPULATE : MAP_PRIVATE;
  void* address =
      syscalls().mmap(nullptr, count, PROT_READ, flags, fd_.get(), static_cast<off_t>(offset));
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

bool sameBytes(const std::string& a, const std::string& b) {
  const UniqueFd fa(syscalls().open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  const UniqueFd fb(syscalls().open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!fa.valid() || !fb.valid()) return false;
  constexpr std::size_t kChunk = 1 << 16;
  std::vector<char> x(kChunk), y(kChunk);
  // A failed read is no end of file: two unreadable files are not the same
  // bytes, and a copy is removed on the strength of this answer.
  bool failed = false;
  const auto fill = [&failed](int fd, char* buffer) {
    std::size_t got = 0;
    while (got < kChunk) {
      const ssize_t n = syscalls().read(fd, buffer + got, kChunk - got);
      if (n < 0 && errno == EINTR) continue;
      failed |= n < 0;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  };
  for (;;) {
    const std::size_t n = fill(fa.get(), x.data());
    if (n != fill(fb.get(), y.data()) || failed || !std::equal(x.begin(), x.begin() + n, y.begin()))
      return false;
    if (n < kChunk) return true;
  }
}

}  // namespace msifter::platform
