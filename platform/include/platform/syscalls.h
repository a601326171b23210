// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seam between the program and the operating system's file calls.
//
// Everything that touches files, clocks or the system's own records calls
// through syscalls(), so a test can install a subclass that fails one call
// at the chosen moment (ENOSPC on a write, EACCES on an open, a source that
// has vanished, EXDEV on a rename, a folder that cannot be read) and check
// that nothing was lost.
//
// Only platform/ and tests include this header: the libraries above reach
// the system through platform's typed functions, whose headers hold no
// POSIX header.
//
// Each call returns what the POSIX call returns (-1 on failure) and leaves
// the reason in errno.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <sys/vfs.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/file_identity.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

class Syscalls {
 public:
  virtual ~Syscalls() = default;

  virtual int open(const char* path, int flags, mode_t mode);
  virtual int close(int fd);
  virtual ssize_t read(int fd, void* buffer, size_t count);
  virtual ssize_t pread(int fd, void* buffer, size_t count, off_t offset);
  virtual ssize_t write(int fd, const void* buffer, size_t count);
  // copy_file_range(2); the caller falls back to read/write on EXDEV,
  // EINVAL, ENOSYS and EOPNOTSUPP.
  virtual ssize_t copyFileRange(int inFd, int outFd, size_t count);
  virtual int fsync(int fd);
  // fdatasync(2): the contents and what reading them back needs (the size).
  virtual int fdatasync(int fd);
  virtual int fstat(int fd, struct stat* out);
  virtual int lstat(const char* path, struct stat* out);
  virtual int stat(const char* path, struct stat* out);
  virtual int fchmod(int fd, mode_t mode);
  virtual int fchown(int fd, uid_t owner, gid_t group);
  virtual int futimens(int fd, const struct timespec times[2]);
  // renameat2(RENAME_NOREPLACE): fails with EEXIST instead of replacing.
  virtual int renameNoReplace(const char* from, const char* to);
  // rename(2): replaces `to`. Only for files of the program's own.
  virtual int rename(const char* from, const char* to);
  virtual int link(const char* from, const char* to);
  virtual ssize_t readlink(const char* path, char* buffer, size_t size);
  virtual int symlink(const char* target, const char* path);
  virtual int unlink(const char* path);
  virtual int mkdir(const char* path, mode_t mode);
  virtual int rmdir(const char* path);
  virtual int statvfs(const char* path, struct statvfs* out);
  virtual int access(const char* path, int mode);
  // getcwd(3) and realpath(3): nullptr with errno on failure.
  virtual char* getcwd(char* buffer, size_t size);
  virtual char* realpath(const char* path, char* resolved);
  // Folder enumeration over an open folder descriptor; fstatat(2) for one
  // entry of it. readdir returns nullptr at the end (errno untouched) and on
  // failure (errno set).
  virtual DIR* fdopendir(int fd);
  virtual struct dirent* readdir(DIR* dir);
  virtual int closedir(DIR* dir);
  virtual int fstatat(int dirFd, const char* name, struct stat* out, int flags);

  // Clocks: the local wall time (for name stamps) and a monotonic
  // millisecond counter (for elapsed times).
  virtual std::time_t now();
  virtual bool localTime(std::time_t when, std::tm& out);
  virtual int64_t monotonicMilliseconds();

  // ---- The single-instance lock
  // flock(2); the kernel drops the lock when the holder's descriptor closes,
  // which includes the holder's death.
  virtual int flock(int fd, int operation);
  virtual uid_t geteuid();

  // ---- The process and the system it runs on
  virtual pid_t getpid();
  virtual uid_t getuid();
  virtual int uname(struct utsname* out);

  // --- Transfers into a destination folder opened once for the whole run ---
  // The *At calls take a folder descriptor (or AT_FDCWD) as their POSIX
  // counterparts do.
  virtual int openAt(int dirFd, const char* path, int flags, mode_t mode);
  // openat2(2) with the RESOLVE_* flags `resolve`; ENOSYS where the kernel
  // has no such call (before Linux 5.6).
  virtual int openAt2(int dirFd, const char* path, int flags, uint64_t resolve);
  // renameat2(2); `flags` as there (RENAME_NOREPLACE).
  virtual int renameAt(int fromDirFd, const char* from, int toDirFd, const char* to,
                       unsigned flags);
  virtual int linkAt(int fromDirFd, const char* from, int toDirFd, const char* to, int flags);
  virtual int unlinkAt(int dirFd, const char* path, int flags);
  virtual int symlinkAt(const char* target, int dirFd, const char* path);
  virtual ssize_t readlinkAt(int dirFd, const char* path, char* buffer, size_t size);
  virtual int mkdirAt(int dirFd, const char* path, mode_t mode);
  // faccessat(2); `flags` as there.
  virtual int accessAt(int dirFd, const char* path, int mode, int flags);
  virtual int fchownAt(int dirFd, const char* path, uid_t owner, gid_t group, int flags);
  virtual int utimensAt(int dirFd, const char* path, const struct timespec times[2], int flags);
  virtual int syncfs(int fd);
  virtual off_t lseek(int fd, off_t offset, int whence);
  virtual int ftruncate(int fd, off_t length);
  // ioctl(FICLONE): `outFd` shares the blocks of `inFd` (btrfs, xfs).
  virtual int cloneFile(int outFd, int inFd);
  virtual ssize_t flistxattr(int fd, char* list, size_t size);
  virtual ssize_t fgetxattr(int fd, const char* name, void* value, size_t size);
  virtual int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags);
  virtual int getrlimit(int resource, struct rlimit* out);

  // Appending to a file whose room is reserved ahead (the run journal).
  virtual ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset);
  // fallocate(2) with mode 0: blocks allocated and the size extended.
  virtual int fallocate(int fd, off_t offset, off_t length);

  // ---- Files read in place (the metadata of photos)
  // mmap(2) and munmap(2); MAP_FAILED with errno on failure.
  virtual void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset);
  virtual int munmap(void* address, size_t length);

  // ---- The kind of file system that holds a file (statfs(2), its f_type)
  virtual int statfs(const char* path, struct statfs* out);
  virtual int fstatfs(int fd, struct statfs* out);

  // sigaction(2): the guard of reads from mapped files.
  virtual int sigaction(int signal, const struct sigaction* action, struct sigaction* previous);
};

// What `st` tells of a file: its identity and kind.
FileIdentity identityOf(const struct stat& st);

// The calls in force.
Syscalls& syscalls();
// Installs `calls` (nullptr: the real calls again). The caller keeps ownership.
void setSyscalls(Syscalls* calls);

// Installs a replacement for the lifetime of the object, for tests.
class ScopedSyscalls {
 public:
  explicit ScopedSyscalls(Syscalls& calls) { setSyscalls(&calls); }
  ~ScopedSyscalls() { setSyscalls(nullptr); }
  ScopedSyscalls(const ScopedSyscalls&) = delete;
  ScopedSyscalls& operator=(const ScopedSyscalls&) = delete;
};

}  // namespace msifter::platform
