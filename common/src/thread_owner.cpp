// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/thread_owner.h"

#include <cstdio>
#include <cstdlib>

namespace msifter::common {

#ifndef NDEBUG

namespace {
[[noreturn]] void touchedByTwoThreads(const char* what) {
  std::fprintf(stderr, "%s: touched by a second thread while another one holds it\n", what);
  std::abort();
}
}  // namespace

void ThreadOwner::acquire() {
  const std::thread::id me = std::this_thread::get_id();
  std::thread::id nobody;
  if (owner_.load() == me) {
    ++depth_;
    return;
  }
  if (!owner_.compare_exchange_strong(nobody, me)) touchedByTwoThreads(what_);
  depth_ = 1;
}

void ThreadOwner::release() {
  if (--depth_ == 0) owner_.store(std::thread::id());
}

void ThreadOwner::touch() const {
  const std::thread::id holder = owner_.load();
  if (holder != std::thread::id() && holder != std::this_thread::get_id())
    touchedByTwoThreads(what_);
}

#endif

}  // namespace msifter::common
