// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/drive.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "common/failure.h"
#include "platform/mounts.h"

namespace msifter::legacy {

namespace {

bool oneOf(std::string_view value, std::initializer_list<std::string_view> set) {
  return std::find(set.begin(), set.end(), value) != set.end();
}

bool hasOption(const std::string& options, std::string_view name) {
  size_t start = 0;
  while (start <= options.size()) {
    const size_t end = std::min(options.find(',', start), options.size());
    if (std::string_view(options).substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

std::string withoutSeparator(const std::string& drive) {
  if (drive.size() > 1 && drive.back() == '/') return drive.substr(0, drive.size() - 1);
  return drive;
}

// The volume flags a file system of this type would report.
uint32_t flagsFor(const platform::MountEntry& m) {
  const std::string& t = m.fsType;
  uint32_t flags = 0;
  if (!oneOf(t, {"vfat", "msdos", "exfat"})) flags |= 0x1;
  if (t != "msdos") flags |= 0x2;
  if (oneOf(t, {"vfat", "exfat", "ntfs", "ntfs3", "iso9660", "udf", "cifs", "smb3"})) flags |= 0x4;
  if ((oneOf(t,
             {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "jfs", "nfs4", "ntfs3"}) ||
       hasOption(m.options, "acl")) &&
      !hasOption(m.options, "noacl"))
    flags |= 0x8;
  if (t == "btrfs") flags |= 0x10;
  if (oneOf(t, {"squashfs", "erofs", "cramfs"})) flags |= 0x8000;
  return flags;
}

}  // namespace

void clsDrive::Drive(const std::string& strNewDrive) {
  drive_ = strNewDrive.empty() || strNewDrive.back() != '/' ? strNewDrive + "/" : strNewDrive;
}

bool clsDrive::Enabled() {
  const auto mounts = platform::readMounts();
  lastResult_ = static_cast<int64_t>(mounts.size());
  return std::any_of(mounts.begin(), mounts.end(), [&](const platform::MountEntry& m) {
    return (m.mountPoint == "/" ? m.mountPoint : m.mountPoint + "/") == drive_;
  });
}

bool clsDrive::MediaCondition() {
  common::clearError();
  const bool readable = platform::tryListFolder(drive_).ok();
  common::clearError();
  return readable;
}

void clsDrive::RefreshDiskFree() {
  platform::FileSystemStats stats;
  const bool ok = platform::fileSystemStats(drive_, stats).ok();
  lastResult_ = ok ? 1 : 0;
  if (!ok) stats = {};
  // A cluster is the preferred I/O block, made of fundamental blocks.
  bytesPerSector_ = stats.blockSize;
  sectorsPerCluster_ = stats.blockSize && stats.ioBlockSize >= stats.blockSize
                           ? stats.ioBlockSize / stats.blockSize
                           : 1;
  freeClusters_ = stats.freeBlocks / sectorsPerCluster_;
  totalClusters_ = stats.totalBlocks / sectorsPerCluster_;
}

int32_t clsDrive::SectorByte() {
  RefreshDiskFree();
  return static_cast<int32_t>(std::min<uint64_t>(bytesPerSector_, INT32_MAX));
}

int32_t clsDrive::ClusterSector() {
  RefreshDiskFree();
  return static_cast<int32_t>(std::min<uint64_t>(sectorsPerCluster_, INT32_MAX));
}

double clsDrive::FreeSpace() {
  platform::FileSystemStats stats;
  lastResult_ = platform::fileSystemStats(drive_, stats).ok() ? 1 : 0;
  return static_cast<double>(stats.freeBlocks) * static_cast<double>(stats.blockSize);
}

double clsDrive::AllSpace() {
  lastResult_ = 0;
  platform::FileSystemStats stats;
  lastResult_ = platform::fileSystemStats(drive_, stats).ok() ? 1 : 0;
  return static_cast<double>(stats.totalBlocks) * static_cast<double>(stats.blockSize);
}

int32_t clsDrive::MediaType() {
  platform::MountEntry m;
  if (!platform::findMount(platform::readMounts(), withoutSeparator(drive_), m) ||
      m.mountPoint != withoutSeparator(drive_))
    return DRIVE_NO_ROOT_DIR;
  const std::string& t = m.fsType;
  if (oneOf(t, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "glusterfs", "fuse.sshfs",
                "sshfs", "davfs", "fuse.davfs2", "afs"}))
    return DRIVE_REMOTE;
  if (oneOf(t, {"iso9660", "udf"})) return DRIVE_CDROM;
  if (oneOf(t, {"tmpfs", "ramfs"})) return DRIVE_RAMDISK;
  if (m.device.rfind("/dev/", 0) == 0)
    return platform::isRemovableDevice(drive_) ? DRIVE_REMOVABLE : DRIVE_FIXED;
  return DRIVE_UNKNOWN;
}

void clsDrive::RefreshVolumeInfo() {
  volumeName_.clear();
  fileSystemName_.clear();
  volumeSerial_ = 0;
  maxComponentLength_ = 0;
  fileSystemFlags_ = 0;
  platform::MountEntry m;
  platform::FileSystemStats stats;
  const bool ok = platform::findMount(platform::readMounts(), withoutSeparator(drive_), m) &&
                  m.mountPoint == withoutSeparator(drive_) &&
                  platform::fileSystemStats(drive_, stats).ok();
  lastResult_ = ok ? 1 : 0;
  if (!ok) return;
  volumeName_ = platform::volumeLabel(m.device);
  fileSystemName_ = m.fsType;
  volumeSerial_ = static_cast<uint32_t>(stats.fsid);
  maxComponentLength_ = static_cast<uint32_t>(stats.maxNameLength);
  fileSystemFlags_ = flagsFor(m);
}

std::string clsDrive::Volume() {
  RefreshVolumeInfo();
  return volumeName_;
}

void clsDrive::Volume(const std::string& /*strNewVolume*/) { lastResult_ = 0; }

std::string clsDrive::FileSystem() {
  RefreshVolumeInfo();
  return fileSystemName_;
}

int32_t clsDrive::MaxFileName() {
  RefreshVolumeInfo();
  return static_cast<int32_t>(maxComponentLength_);
}

int32_t clsDrive::VolSerial() {
  RefreshVolumeInfo();
  return static_cast<int32_t>(volumeSerial_);
}

int32_t clsDrive::ShowFormat(int64_t /*lngHWnd*/, int32_t /*lngDrive*/, int32_t& /*lngType*/) {
  return SHFMT_NOFORMAT;
}

}  // namespace msifter::legacy
