// The freedesktop.org trash: files/NAME holds the item, info/NAME.trashinfo
// says where it came from and when it was deleted.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/file_transfer.h"
#include "platform/mounts.h"
#include "platform/syscalls.h"

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

bool makeFolder(const std::string& path, mode_t mode) {
  if (syscalls().mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return true;
  if (errno != ENOENT) return false;
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  return makeFolder(path.substr(0, slash), 0700) &&
         (syscalls().mkdir(path.c_str(), mode) == 0 || errno == EEXIST);
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

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = syscalls().write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Puts `path` into the trash at `trash`; `recorded` is the path written into
// the info file (absolute for the home trash, relative to the top folder
// for a trash at the top of another file system).
bool trashInto(const std::string& path, const std::string& trash, const std::string& recorded) {
  if (!makeFolder(trash + "/files", 0700) || !makeFolder(trash + "/info", 0700)) return false;
  const auto slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int n = 1; n < 10000; ++n) {
    const std::string entry = n == 1 ? name : name + "." + std::to_string(n);
    const std::string info = trash + "/info/" + entry + ".trashinfo";
    // The info file reserves the name.
    UniqueFd fd(syscalls().open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return false;
    }
    const std::string text =
        "[Trash Info]\nPath=" + percentEncode(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
    const bool written = writeAll(fd.get(), text) && fd.reset() == 0;
    const std::string target = trash + "/files/" + entry;
    if (written && syscalls().renameNoReplace(path.c_str(), target.c_str()) == 0) return true;
    const int saved = errno;
    syscalls().unlink(info.c_str());
    if (saved == EEXIST) continue;
    errno = saved;
    return false;
  }
  errno = EEXIST;
  return false;
}

}  // namespace

bool moveToTrash(const std::string& pathIn) {
  std::string path = pathIn;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return false;
    path = std::string(cwd) + "/" + path;
  }
  struct stat item {};
  if (syscalls().lstat(path.c_str(), &item) != 0) return false;

  const std::string home = homeTrash();
  const auto homeParent = home.substr(0, home.find_last_of('/'));
  makeFolder(homeParent, 0700);
  struct stat homeStat {};
  if (syscalls().stat(homeParent.c_str(), &homeStat) == 0 && homeStat.st_dev == item.st_dev)
    return trashInto(path, home, path);

  // On another file system the item goes to the trash at its top folder.
  MountEntry mount;
  if (!findMount(readMounts(), path, mount)) {
    errno = EXDEV;
    return false;
  }
  const std::string top = mount.mountPoint == "/" ? "" : mount.mountPoint;
  const std::string trash = top + "/.Trash-" + std::to_string(::getuid());
  return trashInto(path, trash, path.substr(top.size() + 1));
}

}  // namespace msifter::platform
