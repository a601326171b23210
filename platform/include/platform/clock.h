// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clocks the program reads, through the seam so that tests can set them.
#include <cstdint>
#include <ctime>

namespace msifter::platform {

// The wall-clock time: the moment a run starts, the stamp of a new name.
std::time_t now();
// `when` in the local time zone; false when it cannot be told.
bool localTime(std::time_t when, std::tm& out);
// A counter of milliseconds that never goes back: for elapsed times.
int64_t monotonicMilliseconds();

}  // namespace msifter::platform
