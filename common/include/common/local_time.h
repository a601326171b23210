// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The local date and time as the program writes them. The clock is the
// platform's (platform/clock.h), so tests can set it.
#include <ctime>
#include <string>

namespace msifter::common {

// "YYYY/MM/DD HH:NN:SS" of now: a run's start time and the error report's.
std::string localDateTimeText();
// "YYYYMMDDHHNNSS" of `when`: the stamp in front of a new name.
std::string localStampText(std::time_t when);

}  // namespace msifter::common
