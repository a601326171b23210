// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string home() { return envOr("HOME", ""); }

std::string configHome() { return envOr("XDG_CONFIG_HOME", home() + "/.config"); }

std::string dataHome() { return envOr("XDG_DATA_HOME", home() + "/.local/share"); }

// A folder named in the user's user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/...").
std::string userDir(const std::string& key, const std::string& fallback) {
  std::string text;
  if (readWholeFile(configHome() + "/user-dirs.dirs", text)) return fallback;
  std::istringstream in(text);
  std::string line;
  const std::string prefix = key + "=\"";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    const std::size_t end = line.rfind('"');
    if (end == std::string::npos || end < prefix.size()) continue;
    std::string value = line.substr(prefix.size(), end - prefix.size());
    if (value.compare(0, 5, "$HOME") == 0) value = home() + value.substr(5);
    if (!value.empty() && value.front() == '/') return value;
  }
  return fallback;
}

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return syscalls().stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         syscalls().access(path.c_str(), X_OK) == 0;
}

std::string findOnPath(const std::string& program) {
  const std::string path = envOr("PATH", "/usr/local/bin:/usr/bin:/bin");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + program;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return "";
}

}  // namespace

std::string currentFolder() {
  char cwd[PATH_MAX];
  return syscalls().getcwd(cwd, sizeof cwd) == nullptr ? std::string() : std::string(cwd);
}

OsError resolvedPath(const std::string& path, std::string& resolved) {
  char real[PATH_MAX];
  if (syscalls().realpath(path.c_str(), real) == nullptr)
    return OsError::fromErrno("realpath", path);
  resolved = real;
  return {};
}

EntryKind entryKind(const std::string& path) {
  struct stat st {};
  if (syscalls().stat(path.c_str(), &st) != 0) return EntryKind::Missing;
  return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

std::string shortPathName(const std::string& path) {
  struct stat st {};
  if (path.empty() || syscalls().stat(path.c_str(), &st) != 0) return "";
  return path;
}

std::string windowsDirectory() { return "/usr"; }

std::string systemDirectory() { return "/usr/lib"; }

std::string specialFolder(int32_t folderType) {
  if (home().empty()) return "";
  switch (folderType) {
    case 0:  // desktop
      return userDir("XDG_DESKTOP_DIR", home() + "/Desktop");
    case 2:   // programs of the start menu
    case 11:  // start menu
      return dataHome() + "/applications";
    case 5:  // documents
      return userDir("XDG_DOCUMENTS_DIR", home() + "/Documents");
    case 7:  // start-up
      return configHome() + "/autostart";
    case 20:  // fonts
      return dataHome() + "/fonts";
    default:  // favourites, recent, send-to and the rest have no folder here
      return "";
  }
}

OsError findExecutable(const std::string& file, std::string& program) {
  struct stat st {};
  if (file.empty() || syscalls().stat(file.c_str(), &st) != 0)
    return OsError(file.empty() ? ENOENT : errno, "stat", file);
  if (S_ISREG(st.st_mode) && syscalls().access(file.c_str(), X_OK) == 0) {
    program = file;
    return {};
  }
  const std::string opener = findOnPath("xdg-open");
  if (opener.empty()) return OsError(ENOENT, "access", "xdg-open");
  program = opener;
  return {};
}

}  // namespace msifter::platform
