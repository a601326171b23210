// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A memory file system mounted for one test: a second file system beside the
// test's folder, and one the test can take away. Mounting needs root (the
// suite runs as root in CI); mounted() says whether it worked.
#include <sys/mount.h>

#include <filesystem>
#include <utility>

namespace msifter::testing {

class ScratchMount {
 public:
  explicit ScratchMount(std::filesystem::path at) : at_(std::move(at)) {
    std::filesystem::create_directories(at_);
    mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=64m") == 0;
  }
  ~ScratchMount() { detach(); }
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return at_; }
  // Lazily, as `umount -l`: files still open keep it alive for their holders.
  void detach() {
    if (mounted_ && ::umount2(at_.c_str(), MNT_DETACH) == 0) mounted_ = false;
  }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

}  // namespace msifter::testing
