// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A wall clock that stands still, so that names by date are known in
// advance; its local time is UTC, whatever zone the machine is in.
#include <ctime>

#include "platform/syscalls.h"

namespace msifter::testing {

// 2002-10-15 09:30:00, read as local time without a time zone.
inline constexpr std::time_t kOctober15 = 1034674200;

struct FixedClock : platform::Syscalls {
  std::time_t t = kOctober15;  // a test may move it
  std::time_t now() override { return t; }
  bool localTime(std::time_t when, std::tm& out) override {
    return ::gmtime_r(&when, &out) != nullptr;
  }
};

}  // namespace msifter::testing
