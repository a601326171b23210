// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mounted file systems: the stand-in for drives on this platform.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace msifter::platform {

struct MountEntry {
  std::string device;
  std::string mountPoint;  // no trailing "/" except for "/" itself
  std::string fsType;
  std::string options;
};

// The mount table of this process (/proc/self/mounts), octal escapes
// ("\040" for a space) decoded. Empty when it cannot be read.
std::vector<MountEntry> readMounts();
// Parses the text of a mount table.
std::vector<MountEntry> parseMounts(const std::string& text);

// The entry whose mount point holds `path` (the longest one); false when
// none does.
bool findMount(const std::vector<MountEntry>& mounts, const std::string& path, MountEntry& out);

struct FileSystemStats {
  uint64_t blockSize = 0;    // fundamental block size (f_frsize)
  uint64_t ioBlockSize = 0;  // preferred block size (f_bsize)
  uint64_t totalBlocks = 0;
  uint64_t freeBlocks = 0;
  uint64_t maxNameLength = 0;
  uint64_t fsid = 0;
};
OsError fileSystemStats(const std::string& path, FileSystemStats& out);

// Opens a folder and reads its first entry: the failure when it cannot be
// listed (no medium, an unreadable one, no such folder).
OsError tryListFolder(const std::string& path);

// The label of the block device, from /dev/disk/by-label; empty when it has none.
std::string volumeLabel(const std::string& device);

// Whether the block device holding `path` is removable (sysfs).
bool isRemovableDevice(const std::string& path);

// What a file system keeps of a file, so that a file can be told again
// later by what is kept. Cards (FAT, exFAT), FUSE mounts (sshfs) and network
// disks keep less than a local disk.
struct FileSystemKeeps {
  // Inode numbers last as long as the file: not made up afresh per mount or
  // per look (FUSE, FAT, exFAT, SMB make them up).
  bool inodes = true;
  // The device number is the disk's: not one given at each mount, nor a
  // card's, which another reader numbers otherwise.
  bool device = true;
  // Modification times are kept to within this many nanoseconds: 1 on a
  // local disk; whole seconds on sshfs, two seconds on FAT.
  int64_t timeStep = 1;
  // syncfs(2) puts what was written on the disk; FUSE passes it to no file
  // system, and only a flush of each file reaches it.
  bool syncfs = true;
};

// By statfs(2)'s file system type and, for the device, `device` (the
// st_dev of a file there). A file system that cannot be asked about keeps
// everything, as a local disk does.
FileSystemKeeps fileSystemKeeps(const std::string& path, uint64_t device);
FileSystemKeeps fileSystemKeepsOf(int fd, uint64_t device);
// The rules by type (statfs's f_type): what the two above give.
FileSystemKeeps fileSystemKeepsByType(int64_t type, uint64_t device);

}  // namespace msifter::platform
