// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/syscalls.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace msifter::platform {

int Syscalls::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int Syscalls::close(int fd) { return ::close(fd); }
ssize_t Syscalls::read(int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); }
ssize_t Syscalls::pread(int fd, void* buffer, size_t count, off_t offset) {
  return ::pread(fd, buffer, count, offset);
}
ssize_t Syscalls::write(int fd, const void* buffer, size_t count) {
  return ::write(fd, buffer, count);
}
ssize_t Syscalls::copyFileRange(int inFd, int outFd, size_t count) {
  return ::copy_file_range(inFd, nullptr, outFd, nullptr, count, 0);
}
int Syscalls::fsync(int fd) { return ::fsync(fd); }
int Syscalls::fdatasync(int fd) { return ::fdatasync(fd); }
int Syscalls::fstat(int fd, struct stat* out) { return ::fstat(fd, out); }
int Syscalls::lstat(const char* path, struct stat* out) { return ::lstat(path, out); }
int Syscalls::stat(const char* path, struct stat* out) { return ::stat(path, out); }
int Syscalls::fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int Syscalls::fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }
int Syscalls::futimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }

int Syscalls::renameNoReplace(const char* from, const char* to) {
  const int rc = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  if (rc == 0 || (errno != EINVAL && errno != ENOSYS)) return rc;
  // File systems without the flag: a hard link cannot replace either.
  if (::link(from, to) != 0) return -1;
  if (::unlink(from) != 0) {
    const int saved = errno;
    ::unlink(to);
    errno = saved;
    return -1;
  }
  return 0;
}

int Syscalls::rename(const char* from, const char* to) { return ::rename(from, to); }
int Syscalls::link(const char* from, const char* to) { return ::link(from, to); }
ssize_t Syscalls::readlink(const char* path, char* buffer, size_t size) {
  return ::readlink(path, buffer, size);
}
int Syscalls::symlink(const char* target, const char* path) { return ::symlink(target, path); }
int Syscalls::unlink(const char* path) { return ::unlink(path); }
int Syscalls::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int Syscalls::rmdir(const char* path) { return ::rmdir(path); }
int Syscalls::statvfs(const char* path, struct statvfs* out) { return ::statvfs(path, out); }
int Syscalls::access(const char* path, int mode) { return ::access(path, mode); }
char* Syscalls::getcwd(char* buffer, size_t size) { return ::getcwd(buffer, size); }
char* Syscalls::realpath(const char* path, char* resolved) { return ::realpath(path, resolved); }
DIR* Syscalls::fdopendir(int fd) { return ::fdopendir(fd); }
struct dirent* Syscalls::readdir(DIR* dir) {
  return ::readdir(dir);
}
int Syscalls::closedir(DIR* dir) { return ::closedir(dir); }
int Syscalls::fstatat(int dirFd, const char* name, struct stat* out, int flags) {
  return ::fstatat(dirFd, name, out, flags);
}

std::time_t Syscalls::now() { return std::time(nullptr); }

bool Syscalls::localTime(std::time_t when, std::tm& out) {
  return ::localtime_r(&when, &out) != nullptr;
}

int64_t Syscalls::monotonicMilliseconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int Syscalls::flock(int fd, int operation) { return ::flock(fd, operation); }
uid_t Syscalls::geteuid() { return ::geteuid(); }
pid_t Syscalls::getpid() { return ::getpid(); }
uid_t Syscalls::getuid() { return ::getuid(); }
int Syscalls::uname(struct utsname* out) { return ::uname(out); }
int Syscalls::openAt(int dirFd, const char* path, int flags, mode_t mode) {
  return ::openat(dirFd, path, flags, mode);
}
int Syscalls::openAt2(int dirFd, const char* path, int flags, uint64_t resolve) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags);
  how.resolve = resolve;
  return static_cast<int>(::syscall(SYS_openat2, dirFd, path, &how, sizeof how));
}
int Syscalls::renameAt(int fromDirFd, const char* from, int toDirFd, const char* to,
                       unsigned flags) {
  return ::renameat2(fromDirFd, from, toDirFd, to, flags);
}
int Syscalls::linkAt(int fromDirFd, const char* from, int toDirFd, const char* to, int flags) {
  return ::linkat(fromDirFd, from, toDirFd, to, flags);
}
int Syscalls::unlinkAt(int dirFd, const char* path, int flags) {
  return ::unlinkat(dirFd, path, flags);
}
int Syscalls::symlinkAt(const char* target, int dirFd, const char* path) {
  return ::symlinkat(target, dirFd, path);
}
ssize_t Syscalls::readlinkAt(int dirFd, const char* path, char* buffer, size_t size) {
  return ::readlinkat(dirFd, path, buffer, size);
}
int Syscalls::mkdirAt(int dirFd, const char* path, mode_t mode) {
  return ::mkdirat(dirFd, path, mode);
}
int Syscalls::accessAt(int dirFd, const char* path, int mode, int flags) {
  return ::faccessat(dirFd, path, mode, flags);
}
int Syscalls::fchownAt(int dirFd, const char* path, uid_t owner, gid_t group, int flags) {
  return ::fchownat(dirFd, path, owner, group, flags);
}
int Syscalls::utimensAt(int dirFd, const char* path, const struct timespec times[2], int flags) {
  return ::utimensat(dirFd, path, times, flags);
}
int Syscalls::syncfs(int fd) { return ::syncfs(fd); }
off_t Syscalls::lseek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }
int Syscalls::ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int Syscalls::cloneFile(int outFd, int inFd) { return ::ioctl(outFd, FICLONE, inFd); }
ssize_t Syscalls::flistxattr(int fd, char* list, size_t size) {
  return ::flistxattr(fd, list, size);
}
ssize_t Syscalls::fgetxattr(int fd, const char* name, void* value, size_t size) {
  return ::fgetxattr(fd, name, value, size);
}
int Syscalls::fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  return ::fsetxattr(fd, name, value, size, flags);
}
int Syscalls::getrlimit(int resource, struct rlimit* out) {
  return ::getrlimit(static_cast<__rlimit_resource_t>(resource), out);
}
ssize_t Syscalls::pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  return ::pwrite(fd, buffer, count, offset);
}
int Syscalls::fallocate(int fd, off_t offset, off_t length) {
  return ::fallocate(fd, 0, offset, length);
}
void* Syscalls::mmap(void* address, size_t length, int protection, int flags, int fd,
                     off_t offset) {
  return ::mmap(address, length, protection, flags, fd, offset);
}
int Syscalls::munmap(void* address, size_t length) { return ::munmap(address, length); }
int Syscalls::statfs(const char* path, struct statfs* out) { return ::statfs(path, out); }
int Syscalls::fstatfs(int fd, struct statfs* out) { return ::fstatfs(fd, out); }
int Syscalls::sigaction(int signal, const struct sigaction* action, struct sigaction* previous) {
  return ::sigaction(signal, action, previous);
}

namespace {
Syscalls realCalls;
Syscalls* current = &realCalls;
}  // namespace

Syscalls& syscalls() { return *current; }
void setSyscalls(Syscalls* calls) { current = calls ? calls : &realCalls; }

int UniqueFd::reset() {
  if (fd_ < 0) return 0;
  const int fd = release();
  return syscalls().close(fd);
}

}  // namespace msifter::platform
