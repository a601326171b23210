// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// State that the window thread and the run's worker thread use one after the
// other (CurrentError, the run state, the report depth). Debug builds abort
// when a second thread touches it while another thread holds it; release
// builds check nothing.
#include <atomic>
#include <thread>

namespace msifter::common {

class ThreadOwner {
 public:
  explicit ThreadOwner(const char* what) : what_(what) {}
  ThreadOwner(const ThreadOwner&) = delete;
  ThreadOwner& operator=(const ThreadOwner&) = delete;

#ifdef NDEBUG
  void acquire() {}
  void release() {}
  void touch() const {}
#else
  // Holding nests on one thread.
  void acquire();
  void release();
  // Allowed while nobody holds the state, or by the thread that holds it.
  void touch() const;
#endif

 private:
  [[maybe_unused]] const char* what_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // changed by the holding thread only
};

// Holds the state for a scope.
class ThreadHold {
 public:
  explicit ThreadHold(ThreadOwner& owner) : owner_(owner) { owner_.acquire(); }
  ~ThreadHold() { owner_.release(); }
  ThreadHold(const ThreadHold&) = delete;
  ThreadHold& operator=(const ThreadHold&) = delete;

 private:
  ThreadOwner& owner_;
};

}  // namespace msifter::common
