// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compares two byte ranges of mapped files with a second processor: the
// comparison of files in memory is bound by how fast one processor reads
// memory, and a second one reads as fast again.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace msifter::engine {

// Neither copied nor moved: its thread works on its members.
class ParallelCompare {
 public:
  ~ParallelCompare();

  // True when the `count` bytes at `a` and `b` are equal; false when they
  // differ or a file was cut short while they were read.
  bool equal(const unsigned char* a, const unsigned char* b, std::size_t count);

 private:
  void work();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const unsigned char* a_ = nullptr;
  const unsigned char* b_ = nullptr;
  std::size_t count_ = 0;
  bool given_ = false;
  bool done_ = false;
  bool result_ = false;
  bool stopping_ = false;
};

}  // namespace msifter::engine
