// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Broken-down times as a clock or a photo's header gives them.
#include <ctime>

namespace msifter::testing {

// A local date and time; the fields nobody reads are zero.
inline std::tm moment(int year, int month, int day, int hour, int minute, int second) {
  return std::tm{.tm_sec = second,
                 .tm_min = minute,
                 .tm_hour = hour,
                 .tm_mday = day,
                 .tm_mon = month - 1,
                 .tm_year = year - 1900,
                 .tm_wday = 0,
                 .tm_yday = 0,
                 .tm_isdst = 0,
                 .tm_gmtoff = 0,
                 .tm_zone = nullptr};
}

}  // namespace msifter::testing
