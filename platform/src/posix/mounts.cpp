// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mounts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "platform/directory.h"
#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

// "\040" and friends: the mount table escapes spaces, tabs, newlines and "\".
std::string unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// Empty when the file cannot be read.
std::string readWhole(const std::string& path) {
  std::string text;
  if (readWholeFile(path, text)) text.clear();
  return text;
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (syscalls().getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// udev writes unsafe characters of a label as \xHH.
std::string decodeLabel(const std::string& name) {
  std::string label;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      label += static_cast<char>(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      label += name[i];
    }
  }
  return label;
}

}  // namespace

std::vector<MountEntry> parseMounts(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    MountEntry entry;
    if (!(fields >> entry.device >> entry.mountPoint >> entry.fsType >> entry.options)) continue;
    entry.device = unescape(entry.device);
    entry.mountPoint = unescape(entry.mountPoint);
    while (entry.mountPoint.size() > 1 && entry.mountPoint.back() == '/')
      entry.mountPoint.pop_back();
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

std::vector<MountEntry> readMounts() { return parseMounts(readWhole("/proc/self/mounts")); }

bool findMount(const std::vector<MountEntry>& mounts, const std::string& pathIn, MountEntry& out) {
  const std::string path = absolute(pathIn);
  size_t best = 0;
  bool found = false;
  // Later entries hide earlier ones at the same point, so ties go to the last.
  for (const MountEntry& m : mounts) {
    const std::string& mp = m.mountPoint;
    const bool holds =
        mp == "/" || path == mp ||
        (path.size() > mp.size() && path.compare(0, mp.size(), mp) == 0 && path[mp.size()] == '/');
    if (holds && (!found || mp.size() >= best)) {
      best = mp.size();
      out = m;
      found = true;
    }
  }
  return found;
}

OsError fileSystemStats(const std::string& path, FileSystemStats& out) {
  struct statvfs vfs {};
  if (syscalls().statvfs(path.c_str(), &vfs) != 0) return OsError::fromErrno("statvfs", path);
  out.blockSize = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  out.ioBlockSize = vfs.f_bsize;
  out.totalBlocks = vfs.f_blocks;
  out.freeBlocks = vfs.f_bfree;
  out.maxNameLength = vfs.f_namemax;
  out.fsid = vfs.f_fsid;
  return {};
}

OsError tryListFolder(const std::string& path) {
  Directory folder;
  if (OsError e = folder.open(path)) return e;
  bool any = false;
  if (OsError e = folder.hasEntries(any)) return OsError(e.code(), e.operation(), path);
  return {};
}

std::string volumeLabel(const std::string& device) {
  char real[PATH_MAX];
  if (syscalls().realpath(device.c_str(), real) == nullptr) return "";
  constexpr const char* kLabels = "/dev/disk/by-label";
  UniqueFd labels(syscalls().open(kLabels, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!labels.valid()) return "";
  std::string found;
  static_cast<void>(forEachEntry(labels.get(), [&](const dirent& entry) {
    if (!found.empty() || entry.d_name[0] == '.') return;
    char target[PATH_MAX];
    const std::string link = std::string(kLabels) + "/" + entry.d_name;
    if (syscalls().realpath(link.c_str(), target) != nullptr && std::string(target) == real)
      found = decodeLabel(entry.d_name);
  }));
  return found;
}

bool isRemovableDevice(const std::string& path) {
  struct stat st {};
  if (syscalls().stat(path.c_str(), &st) != 0) return false;
  const std::string base =
      "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  // A partition has no flag of its own; its disk one level up has.
  for (const char* candidate : {"/removable", "/../removable"}) {
    const std::string flag = readWhole(base + candidate);
    if (!flag.empty()) return flag[0] == '1';
  }
  return false;
}

namespace {

// statfs(2) types, as linux/magic.h and the drivers number them.
constexpr uint32_t kFuse = 0x65735546;
constexpr uint32_t kFat = 0x4d44;
constexpr uint32_t kExfat = 0x2011bab0;
constexpr uint32_t kNfs = 0x6969;
constexpr uint32_t kSmb = 0x517b;
constexpr uint32_t kCifs = 0xff534d42;
constexpr uint32_t kSmb2 = 0xfe534d42;
constexpr uint32_t kHfs = 0x4244;
constexpr uint32_t kHfsPlus = 0x482b;

constexpr int64_t kSecond = 1000000000;

}  // namespace

FileSystemKeeps fileSystemKeepsByType(int64_t type, uint64_t device) {
  FileSystemKeeps keeps;
  // A number given at mount time (FUSE, NFS, tmpfs, btrfs) is another one
  // after the next mount.
  keeps.device = major(static_cast<dev_t>(device)) != 0;
  switch (static_cast<uint32_t>(type)) {
    case kFuse:
      // sshfs keeps whole seconds, FUSE's FAT two; the numbers are the
      // FUSE server's own, per mount. A card's driver (exfat-fuse, as
      // fuseblk) gives its files the number of the reader it sits in, which
      // is another one after the card is put back elsewhere.
      keeps.inodes = false;
      keeps.device = false;
      keeps.timeStep = 2 * kSecond;
      keeps.syncfs = false;
      break;
    case kFat:
    case kExfat:
    case kSmb:
    case kCifs:
    case kSmb2:
      // No inode numbers of their own; a card put into another reader is
      // another device.
      keeps.inodes = false;
      keeps.device = false;
      keeps.timeStep = 2 * kSecond;
      break;
    case kNfs:
      // The server's disk decides the time step; its file ids last.
      keeps.timeStep = 2 * kSecond;
      break;
    case kHfs:
    case kHfsPlus: keeps.timeStep = kSecond; break;
    default: break;
  }
  return keeps;
}

FileSystemKeeps fileSystemKeeps(const std::string& path, uint64_t device) {
  struct statfs info {};
  if (syscalls().statfs(path.c_str(), &info) != 0) return fileSystemKeepsByType(0, device);
  return fileSystemKeepsByType(info.f_type, device);
}

FileSystemKeeps fileSystemKeepsOf(int fd, uint64_t device) {
  struct statfs info {};
  if (syscalls().fstatfs(fd, &info) != 0) return fileSystemKeepsByType(0, device);
  return fileSystemKeepsByType(info.f_type, device);
}

}  // namespace msifter::platform
