// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bytes the copies of one thread have written so far, advanced chunk by
// chunk by the copy loop and read from any thread: a progress display
// follows a large file while it is copied. No lock: one relaxed atomic
// addition a chunk, none at all where no meter is set.
#include <atomic>
#include <cstdint>

namespace msifter::platform {

class TransferMeter {
 public:
  int64_t bytes() const { return bytes_.load(std::memory_order_relaxed); }
  void add(int64_t bytes) { bytes_.fetch_add(bytes, std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> bytes_{0};
};

// Sets the meter that the copies of the calling thread advance for as long
// as it lives; the one set before comes back after it.
class MeteredCopies {
 public:
  explicit MeteredCopies(TransferMeter& meter);
  ~MeteredCopies();
  MeteredCopies(const MeteredCopies&) = delete;
  MeteredCopies& operator=(const MeteredCopies&) = delete;

 private:
  TransferMeter* previous_;
};

// The calling thread's meter, or nullptr.
TransferMeter* threadMeter();

}  // namespace msifter::platform
