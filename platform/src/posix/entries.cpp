// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix/entries.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/syscalls.h"

namespace msifter::platform {

OsError forEachEntryUntil(int dirFd, const std::function<bool(const dirent&)>& visit) {
  const int fd = syscalls().openAt(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return OsError::fromErrno("openat");
  DIR* listing = syscalls().fdopendir(fd);
  if (listing == nullptr) {
    const OsError e = OsError::fromErrno("fdopendir");
    syscalls().close(fd);
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
    const char* n = d->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    if (!visit(*d)) break;
  }
  syscalls().closedir(listing);
  return result;
}

OsError forEachEntry(int dirFd, const std::function<void(const dirent&)>& visit) {
  return forEachEntryUntil(dirFd, [&visit](const dirent& d) {
    visit(d);
    return true;
  });
}

OsError openSubfolder(int dirFd, const std::string& name, UniqueFd& folder) {
  const int fd =
      syscalls().openAt(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd >= 0) {
    folder = UniqueFd(fd);
    return {};
  }
  OsError e = OsError::fromErrno("openat", name);
  // With O_DIRECTORY a link is refused as "not a folder"; say what it is.
  struct stat st {};
  if (e.code() == ENOTDIR &&
      syscalls().fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    e = OsError(ELOOP, "openat", name);
  return e;
}

OsError readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  UniqueFd fd(syscalls().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!fd.valid()) return OsError::fromErrno("open", path);
  char buffer[4096];
  for (;;) {
    const ssize_t n = syscalls().read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      return OsError::fromErrno("read", path);
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

OsError readLink(const std::string& path, std::string& target) {
  target.assign(4096, '\0');
  const ssize_t n = syscalls().readlink(path.c_str(), target.data(), target.size());
  if (n < 0) return OsError::fromErrno("readlink", path);
  if (static_cast<size_t>(n) >= target.size()) return OsError(ENAMETOOLONG, "readlink", path);
  target.resize(static_cast<size_t>(n));
  return {};
}

OsError readLinkAt(int dirFd, const char* name, std::string& target) {
  target.assign(4096, '\0');
  const ssize_t n = syscalls().readlinkAt(dirFd, name, target.data(), target.size());
  if (n < 0) return OsError::fromErrno("readlinkat", name);
  if (static_cast<size_t>(n) >= target.size()) return OsError(ENAMETOOLONG, "readlinkat", name);
  target.resize(static_cast<size_t>(n));
  return {};
}

OsError writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = syscalls().write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return OsError::fromErrno("write");
    if (n == 0) return OsError(EIO, "write");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace msifter::platform
