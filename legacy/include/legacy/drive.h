// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// clsDrive: one drive, here a mounted file system named by its mount point
// ("/", "/media/cam/"): whether it exists, whether it can be read, its type,
// sizes, label and file-system properties.
//
// The object reports nothing itself; an unexpected failure reaches the
// caller's guard.
#include <cstdint>
#include <string>

namespace msifter::legacy {

class clsDrive {
 public:
  // Values of MediaType, as the platform's drive types number them.
  static constexpr int32_t DRIVE_UNKNOWN = 0;
  static constexpr int32_t DRIVE_NO_ROOT_DIR = 1;
  static constexpr int32_t DRIVE_REMOVABLE = 2;
  static constexpr int32_t DRIVE_FIXED = 3;
  static constexpr int32_t DRIVE_REMOTE = 4;
  static constexpr int32_t DRIVE_CDROM = 5;
  static constexpr int32_t DRIVE_RAMDISK = 6;
  // ShowFormat's answer: this drive cannot be formatted from here.
  static constexpr int32_t SHFMT_NOFORMAT = -3;

  int32_t SectorByte();
  int32_t ClusterSector();
  double FreeSpace();
  double AllSpace();
  int32_t MediaType();
  const std::string& Drive() const { return drive_; }
  // The mount point, with one trailing "/". The letter rules of other
  // platforms do not apply: ":" is an ordinary character here.
  void Drive(const std::string& strNewDrive);
  std::string Volume();
  // Labels cannot be written from here; the last result reads 0.
  void Volume(const std::string& strNewVolume);
  std::string FileSystem();
  int32_t MaxFileName();
  int32_t VolSerial();
  // The drive's root can be listed. Leaves no failure behind.
  bool MediaCondition();
  // The drive is a mount point of this system.
  bool Enabled();
  bool ACLs() const { return (fileSystemFlags_ & 0x8) != 0; }
  bool Unicode() const { return (fileSystemFlags_ & 0x4) != 0; }
  bool FileCompress() const { return (fileSystemFlags_ & 0x10) != 0; }
  bool VolCompress() const { return (fileSystemFlags_ & 0x8000) != 0; }
  bool CaseSensitive() const { return (fileSystemFlags_ & 0x1) != 0; }
  bool CasePreserved() const { return (fileSystemFlags_ & 0x2) != 0; }
  // No format dialog on this platform: SHFMT_NOFORMAT.
  int32_t ShowFormat(int64_t lngHWnd, int32_t lngDrive, int32_t& lngType);

  int64_t lastResult() const { return lastResult_; }

 private:
  void RefreshDiskFree();
  void RefreshVolumeInfo();

  int64_t lastResult_ = 0;
  std::string drive_;
  uint64_t sectorsPerCluster_ = 0;
  uint64_t bytesPerSector_ = 0;
  uint64_t freeClusters_ = 0;
  uint64_t totalClusters_ = 0;
  std::string volumeName_;
  uint32_t volumeSerial_ = 0;
  uint32_t maxComponentLength_ = 0;
  uint32_t fileSystemFlags_ = 0;
  std::string fileSystemName_;
};

}  // namespace msifter::legacy
