// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An open descriptor of a file or folder, closed when its owner goes. A
// plain number above platform/: only platform's functions act on it.
#include <utility>

namespace msifter::platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes now, through the seam; the result of close() (-1 with errno on
  // failure).
  int reset();

 private:
  int fd_ = -1;
};

}  // namespace msifter::platform
