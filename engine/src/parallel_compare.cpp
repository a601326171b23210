// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel_compare.h"

#include <cstring>

#include "platform/file_reading.h"

namespace msifter::engine {

namespace {

// Below this, handing half over costs more than it saves.
constexpr std::size_t kWorthSharing = 1024 * 1024;

struct Range {
  const unsigned char* a;
  const unsigned char* b;
  std::size_t count;
  bool equal;
};

void compareRange(void* context) {
  Range& range = *static_cast<Range*>(context);
  range.equal = std::memcmp(range.a, range.b, range.count) == 0;
}

bool equalHere(const unsigned char* a, const unsigned char* b, std::size_t count) {
  Range range{a, b, count, false};
  return platform::readMapped(compareRange, &range) && range.equal;
}

}  // namespace

ParallelCompare::~ParallelCompare() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool ParallelCompare::equal(const unsigned char* a, const unsigned char* b, std::size_t count) {
  static const bool secondProcessor = std::thread::hardware_concurrency() > 1;
  if (count < kWorthSharing || !secondProcessor) return equalHere(a, b, count);
  if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
  const std::size_t half = count / 2;
  {
    const std::lock_guard lock(mutex_);
    a_ = a + half;
    b_ = b + half;
    count_ = count - half;
    given_ = true;
    done_ = false;
  }
  changed_.notify_all();
  const bool first = equalHere(a, b, half);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return done_; });
  return first && result_;
}

void ParallelCompare::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return given_ || stopping_; });
    if (stopping_) return;
    given_ = false;
    const unsigned char* a = a_;
    const unsigned char* b = b_;
    const std::size_t count = count_;
    lock.unlock();
    const bool equal = equalHere(a, b, count);
    lock.lock();
    result_ = equal;
    done_ = true;
    changed_.notify_all();
  }
}

}  // namespace msifter::engine
