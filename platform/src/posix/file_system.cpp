// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

OsError makeFolder(const std::string& folder, mode_t mode) {
  if (syscalls().mkdir(folder.c_str(), mode) == 0) return {};
  if (errno != EEXIST) return OsError::fromErrno("mkdir", folder);
  struct stat st {};
  if (syscalls().stat(folder.c_str(), &st) != 0) return OsError::fromErrno("stat", folder);
  return S_ISDIR(st.st_mode) ? OsError() : OsError(ENOTDIR, "mkdir", folder);
}

// `name` in the folder open at `dirFd`, removed with all it holds.
OsError removeAt(int dirFd, const std::string& name, const std::string& path) {
  UniqueFd folder(
      syscalls().openAt(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (!folder.valid()) {
    if (errno == ENOENT) return {};
    // Not a folder (ELOOP: a link): the entry itself goes.
    if (errno != ENOTDIR && errno != ELOOP) return OsError::fromErrno("open", path);
    if (syscalls().unlinkAt(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) return {};
    return OsError::fromErrno("unlink", path);
  }
  std::vector<std::string> names;
  if (OsError e =
          forEachEntry(folder.get(), [&](const dirent& d) { names.emplace_back(d.d_name); }))
    return OsError(e.code(), e.operation(), path);
  for (const std::string& inner : names) {
    if (OsError e = removeAt(folder.get(), inner, path + "/" + inner)) return e;
  }
  folder.reset();
  if (syscalls().unlinkAt(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return {};
  return OsError::fromErrno("rmdir", path);
}

}  // namespace

OsError makeFolders(const std::string& folder, unsigned mode) {
  if (folder.empty() || folder == "/" || folder == ".") return {};
  OsError e = makeFolder(folder, mode);
  if (e.code() != ENOENT) return e;
  const std::string parent = folderOf(folder);
  if (parent == folder) return e;
  if (OsError p = makeFolders(parent, mode)) return p;
  return makeFolder(folder, mode);
}

OsError removeTree(const std::string& path) {
  if (path.empty()) return OsError(ENOENT, "unlink");
  return removeAt(AT_FDCWD, path, path);
}

bool isOwnFile(const std::string& path) {
  struct stat info {};
  return syscalls().lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == syscalls().geteuid();
}

OsError appendToOwnFile(const std::string& path, const std::string& bytes) {
  // O_NONBLOCK: a pipe put in the file's place would otherwise hang the
  // writer until someone reads it.
  UniqueFd fd(syscalls().open(
      path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
      0600));
  if (!fd.valid()) return OsError::fromErrno("open", path);
  struct stat info {};
  if (syscalls().fstat(fd.get(), &info) != 0) return OsError::fromErrno("fstat", path);
  if (!S_ISREG(info.st_mode)) return OsError(EINVAL, "open", path);
  if (info.st_uid != syscalls().geteuid()) return OsError(EACCES, "open", path);
  if (OsError e = writeAll(fd.get(), bytes)) return OsError(e.code(), e.operation(), path);
  // Don't retry close on EINTR: the descriptor is gone either way.
  if (fd.reset() != 0 && errno != EINTR) return OsError::fromErrno("close", path);
  return {};
}

}  // namespace msifter::platform
