// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting and measuring time.
#include <cstdint>

namespace msifter::engine {

// Blocks the calling thread; false at once for a negative time.
bool gProcSleep(int32_t milliseconds);
// Milliseconds from a monotonic clock.
int64_t gGetTickCount();

}  // namespace msifter::engine
