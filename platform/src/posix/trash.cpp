// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop.org trash: files/NAME holds the item, info/NAME.trashinfo
// says where it came from and when it was deleted.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/file_transfer.h"
#include "platform/mounts.h"
#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

std::string percentEncode(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string homeTrash() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/Trash";
}

std::string deletionDate() {
  std::tm tm{};
  syscalls().localTime(syscalls().now(), tm);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

// Puts `path` into the trash at `trash`; `recorded` is the path written into
// the info file (absolute for the home trash, relative to the top folder
// for a trash at the top of another file system).
OsError trashInto(const std::string& path, const std::string& trash, const std::string& recorded) {
  if (OsError e = makeFolders(trash + "/files", 0700)) return e;
  if (OsError e = makeFolders(trash + "/info", 0700)) return e;
  const std::string name = nameOf(path);
  for (int n = 1; n < 10000; ++n) {
    const std::string entry = n == 1 ? name : name + "." + std::to_string(n);
    const std::string info = trash + "/info/" + entry + ".trashinfo";
    // The info file reserves the name.
    UniqueFd fd(syscalls().open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return OsError::fromErrno("open", info);
    }
    const std::string text =
        "[Trash Info]\nPath=" + percentEncode(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
    OsError e = writeAll(fd.get(), text);
    if (!e && fd.reset() != 0) e = OsError::fromErrno("close", info);
    const std::string target = trash + "/files/" + entry;
    if (!e) {
      if (syscalls().renameNoReplace(path.c_str(), target.c_str()) == 0) return {};
      e = OsError::fromErrno("renameat2", target);
    }
    syscalls().unlink(info.c_str());
    if (e.nameTaken()) continue;
    return e;
  }
  return OsError(EEXIST, "open", trash + "/info");
}

}  // namespace

OsError moveToTrash(const std::string& pathIn) {
  std::string path = pathIn;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (syscalls().getcwd(cwd, sizeof cwd) == nullptr) return OsError::fromErrno("getcwd");
    path = std::string(cwd) + "/" + path;
  }
  struct stat item {};
  if (syscalls().lstat(path.c_str(), &item) != 0) return OsError::fromErrno("lstat", path);

  const std::string home = homeTrash();
  const auto homeParent = home.substr(0, home.find_last_of('/'));
  static_cast<void>(makeFolders(homeParent, 0700));
  struct stat homeStat {};
  if (syscalls().stat(homeParent.c_str(), &homeStat) == 0 && homeStat.st_dev == item.st_dev)
    return trashInto(path, home, path);

  // On another file system the item goes to the trash at its top folder.
  MountEntry mount;
  if (!findMount(readMounts(), path, mount)) return OsError(EXDEV, "moveToTrash", path);
  const std::string top = mount.mountPoint == "/" ? "" : mount.mountPoint;
  const std::string trash = top + "/.Trash-" + std::to_string(syscalls().getuid());
  return trashInto(path, trash, path.substr(top.size() + 1));
}

}  // namespace msifter::platform
