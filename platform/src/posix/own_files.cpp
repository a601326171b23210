// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/own_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"
#include "platform/syscalls.h"

namespace msifter::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The file just opened into `file` is a regular one; otherwise it is closed.
OsError keepIfRegular(UniqueFd& file, const std::string& name) {
  struct stat st {};
  if (syscalls().fstat(file.get(), &st) != 0) {
    const OsError e = OsError::fromErrno("fstat", name);
    file.reset();
    return e;
  }
  if (S_ISREG(st.st_mode)) return {};
  file.reset();
  return OsError(EINVAL, "open", name);
}

}  // namespace

OsError openOwnFolder(const std::string& base, const std::vector<std::string>& below,
                      Missing missing, UniqueFd& folder) {
  const bool make = missing == Missing::Make;
  OsError made = make ? makeFolders(base, 0700) : OsError();
  UniqueFd at(syscalls().open(base.c_str(), kFolderFlags, 0));
  if (!at.valid()) return made ? made : OsError::fromErrno("open", base);
  std::string path = base;
  for (const std::string& name : below) {
    path += "/" + name;
    if (make && syscalls().mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
      made = OsError::fromErrno("mkdir", path);
    UniqueFd next(syscalls().openAt(at.get(), name.c_str(), kFolderFlags | O_NOFOLLOW, 0));
    if (!next.valid()) return made ? made : OsError::fromErrno("openat", path);
    at = std::move(next);
  }
  folder = std::move(at);
  return {};
}

OsError openFileIn(int folderFd, const std::string& name, OpenFor purpose, UniqueFd& file) {
  const int access = purpose == OpenFor::Writing ? O_RDWR : O_RDONLY;
  // Not blocking: a pipe put in the file's place must not hang the caller.
  file = UniqueFd(
      syscalls().openAt(folderFd, name.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!file.valid()) return OsError::fromErrno("openat", name);
  return keepIfRegular(file, name);
}

OsError createFileIn(int folderFd, const std::string& name, UniqueFd& file) {
  file = UniqueFd(syscalls().openAt(folderFd, name.c_str(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return file.valid() ? OsError() : OsError::fromErrno("openat", name);
}

OsError openLockFileIn(int folderFd, const std::string& name, UniqueFd& file) {
  file = UniqueFd(
      syscalls().openAt(folderFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  return file.valid() ? OsError() : OsError::fromErrno("openat", name);
}

OsError openOwnLockFile(const std::string& path, UniqueFd& file) {
  file = UniqueFd(syscalls().open(
      path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
  if (!file.valid()) return OsError::fromErrno("open", path);
  struct stat st {};
  OsError e;
  if (syscalls().fstat(file.get(), &st) != 0) {
    e = OsError::fromErrno("fstat", path);
  } else if (!S_ISREG(st.st_mode)) {
    e = OsError(EINVAL, "open", path);
  } else if (st.st_uid != syscalls().geteuid()) {
    e = OsError(EACCES, "open", path);
  }
  if (e) file.reset();
  return e;
}

OsError lockFile(int fd, LockMode mode, LockWait wait) {
  const int operation = (mode == LockMode::Exclusive ? LOCK_EX : LOCK_SH) |
                        (wait == LockWait::DontWait ? LOCK_NB : 0);
  while (syscalls().flock(fd, operation) != 0) {
    if (errno != EINTR) return OsError::fromErrno("flock");
  }
  return {};
}

OsError writeAt(int fd, int64_t offset, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = syscalls().pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return OsError::fromErrno("pwrite");
    if (n == 0) return OsError(ENOSPC, "pwrite");
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return {};
}

OsError reserveRoom(int fd, int64_t offset, int64_t length) {
  if (syscalls().fallocate(fd, static_cast<off_t>(offset), static_cast<off_t>(length)) != 0)
    return OsError::fromErrno("fallocate");
  return {};
}

OsError truncateFile(int fd, int64_t length) {
  if (syscalls().ftruncate(fd, static_cast<off_t>(length)) != 0)
    return OsError::fromErrno("ftruncate");
  return {};
}

OsError syncData(int fd) {
  return syscalls().fdatasync(fd) == 0 ? OsError() : OsError::fromErrno("fdatasync");
}

OsError syncFile(int fd) {
  return syscalls().fsync(fd) == 0 ? OsError() : OsError::fromErrno("fsync");
}

OsError syncFolder(const std::string& path) {
  const UniqueFd folder(syscalls().open(path.c_str(), kFolderFlags, 0));
  if (!folder.valid()) return OsError::fromErrno("open", path);
  return syscalls().fsync(folder.get()) == 0 ? OsError() : OsError::fromErrno("fsync", path);
}

OsError syncSameFolder(const std::string& path, const FileIdentity& folder) {
  const UniqueFd fd(syscalls().open(path.c_str(), kFolderFlags, 0));
  if (!fd.valid()) return OsError::fromErrno("open", path);
  FileIdentity now;
  if (const OsError e = identityOfOpen(fd.get(), now)) return e;
  if (!now.sameFile(folder)) return OsError(ENOTDIR, "open", path);
  return syscalls().fsync(fd.get()) == 0 ? OsError() : OsError::fromErrno("fsync", path);
}

OsError readAt(int fd, int64_t offset, void* buffer, std::size_t count, std::size_t& got) {
  got = 0;
  for (;;) {
    const ssize_t n = syscalls().pread(fd, buffer, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return OsError::fromErrno("pread");
    got = static_cast<std::size_t>(n);
    return {};
  }
}

OsError readWhole(int fd, std::string& out) {
  out.clear();
  if (syscalls().lseek(fd, 0, SEEK_SET) < 0) return OsError::fromErrno("lseek");
  char buffer[65536];
  for (;;) {
    const ssize_t n = syscalls().read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return OsError::fromErrno("read");
    if (n == 0) return {};
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

OsError identityOfOpen(int fd, FileIdentity& identity) {
  struct stat st {};
  if (syscalls().fstat(fd, &st) != 0) return OsError::fromErrno("fstat");
  identity = identityOf(st);
  return {};
}

OsError removeFile(const std::string& path) {
  return syscalls().unlink(path.c_str()) == 0 ? OsError() : OsError::fromErrno("unlink", path);
}

OsError removeFileAt(int folderFd, const std::string& name) {
  return syscalls().unlinkAt(folderFd, name.c_str(), 0) == 0 ? OsError()
                                                             : OsError::fromErrno("unlinkat", name);
}

OsError replaceFile(const std::string& from, const std::string& to) {
  return syscalls().rename(from.c_str(), to.c_str()) == 0 ? OsError()
                                                          : OsError::fromErrno("rename", to);
}

}  // namespace msifter::platform
