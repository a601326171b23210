// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file system image made and mounted for one test: XFS on a loop device,
// exFAT and FAT through their FUSE drivers (a card as a desktop mounts it).
// Needs root and the tools of scripts/install-deps.sh; whyNot() says what
// was missing, for the test's skip.
#include <sys/mount.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace msifter::testing {

class MountedImage {
 public:
  enum class Kind { Xfs, ExfatFuse, FatFuse };

  MountedImage(Kind kind, const std::filesystem::path& folder) : at_(folder / "disk") {
    std::filesystem::create_directories(at_);
    // The exFAT driver wants a block device, detached at once: the kernel
    // frees it when the driver lets go, however the test ends. 320 MB: the
    // smallest XFS that mkfs.xfs makes.
    const Recipe recipes[] = {
        {"truncate -s 320M %i && mkfs.xfs -q -f %i", "mount -o loop %i %m", "xfsprogs"},
        {"truncate -s 64M %i && mkfs.exfat %i",
         "L=$(losetup -f --show %i) && { mount.exfat-fuse $L %m; r=$?; losetup -d $L; exit $r; }",
         "exfatprogs, exfat-fuse and a free loop device"},
        {"truncate -s 64M %i && mkfs.vfat %i", "fusefat -o rw+ %i %m", "dosfstools and fusefat"}};
    const Recipe& recipe = recipes[static_cast<int>(kind)];
    const std::string image = "'" + (folder / "disk.img").string() + "'";
    mounted_ = run(recipe.make, image) && run(recipe.mount, image);
    if (!mounted_)
      whyNot_ = std::string("cannot make and mount the image here: needs ") + recipe.needs;
  }
  // Lazily where a FUSE server is still busy, rather than leave it mounted.
  ~MountedImage() {
    if (mounted_ && ::umount2(at_.c_str(), 0) != 0) ::umount2(at_.c_str(), MNT_DETACH);
  }
  MountedImage(const MountedImage&) = delete;
  MountedImage& operator=(const MountedImage&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return whyNot_; }
  const std::filesystem::path& path() const { return at_; }

 private:
  struct Recipe {
    const char* make;   // %i: the image
    const char* mount;  // %m: the mount point
    const char* needs;
  };

  bool run(std::string command, const std::string& image) const {
    for (auto at = command.find('%'); at != std::string::npos; at = command.find('%', at + 1))
      command.replace(at, 2, command[at + 1] == 'i' ? image : "'" + at_.string() + "'");
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
  }

  std::filesystem::path at_;
  bool mounted_ = false;
  std::string whyNot_;
};

}  // namespace msifter::testing
