// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/time_helpers.h"

#include <chrono>
#include <thread>

#include "common/failure.h"

namespace msifter::engine {

bool gProcSleep(int32_t milliseconds) {
  return common::guardLog("gProcSleep", false, [&] {
    if (milliseconds < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return true;
  });
}

int64_t gGetTickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace msifter::engine
