#pragma once
// A file system image made and mounted for one test: XFS on a loop device,
// exFAT and FAT through their FUSE drivers (a card as a desktop mounts it).
// Needs root and the tools of scripts/install-deps.sh; whyNot() says what
// was missing, for the test's skip.
#include <sys/mount.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace msifter::testing {

class MountedImage {
 public:
  enum class Kind { Xfs, ExfatFuse, FatFuse };

  MountedImage(Kind kind, const std::filesystem::path& folder)
      : kind_(kind), image_(folder / "disk.img"), at_(folder / "disk") {
    std::filesystem::create_directories(at_);
    const std::string img = quoted(image_);
    switch (kind_) {
      case Kind::Xfs:
        // The smallest XFS that mkfs.xfs makes.
        if (!run("truncate -s 320M " + img + " && mkfs.xfs -q -f " + img, "mkfs.xfs (xfsprogs)"))
          return;
        break;
      case Kind::ExfatFuse:
        if (!run("truncate -s 64M " + img + " && mkfs.exfat " + img, "mkfs.exfat (exfatprogs)"))
          return;
        break;
      case Kind::FatFuse:
        if (!run("truncate -s 64M " + img + " && mkfs.vfat " + img, "mkfs.vfat (dosfstools)"))
          return;
        break;
    }
    mount();
  }
  ~MountedImage() { unmount(); }
  MountedImage(const MountedImage&) = delete;
  MountedImage& operator=(const MountedImage&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return whyNot_; }
  const std::filesystem::path& path() const { return at_; }

 private:
  static std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

  bool mount() {
    const std::string at = quoted(at_);
    switch (kind_) {
      case Kind::Xfs:
        mounted_ = run("mount -o loop " + quoted(image_) + " " + at, "mounting an XFS image");
        break;
      case Kind::ExfatFuse: {
        // The FUSE driver wants a block device. Detached at once: the
        // kernel keeps it while the driver holds it and frees it when the
        // driver lets go, however the test ends.
        const std::string loop = attachLoop();
        if (loop.empty()) return false;
        mounted_ = run("mount.exfat-fuse " + loop + " " + at, "mount.exfat-fuse (exfat-fuse)");
        run("losetup -d " + loop, "losetup");
        break;
      }
      case Kind::FatFuse:
        mounted_ = run("fusefat -o rw+ " + quoted(image_) + " " + at, "fusefat (fusefat)");
        break;
    }
    return mounted_;
  }

  // The loop device now holding the image; "" when none is free.
  std::string attachLoop() {
    std::string device;
    if (FILE* out =
            ::popen(("losetup -f --show " + quoted(image_) + " 2>/dev/null").c_str(), "r")) {
      char line[256] = {};
      if (std::fgets(line, sizeof line, out) != nullptr) device = line;
      ::pclose(out);
    }
    while (!device.empty() && (device.back() == '\n' || device.back() == ' ')) device.pop_back();
    if (device.empty()) whyNot_ = "no free loop device for the exFAT image";
    return device;
  }

  void unmount() {
    if (mounted_ && ::umount2(at_.c_str(), 0) == 0) mounted_ = false;
    // A FUSE server still busy: let go lazily rather than leave it mounted.
    if (mounted_ && ::umount2(at_.c_str(), MNT_DETACH) == 0) mounted_ = false;
  }

  bool run(const std::string& command, const char* what) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) == 0) return true;
    if (whyNot_.empty()) whyNot_ = std::string("cannot use ") + what + " here";
    return false;
  }

  Kind kind_;
  std::filesystem::path image_;
  std::filesystem::path at_;
  bool mounted_ = false;
  std::string whyNot_;
};

}  // namespace msifter::testing
