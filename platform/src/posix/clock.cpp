// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include "platform/syscalls.h"

namespace msifter::platform {

std::time_t now() { return syscalls().now(); }

bool localTime(std::time_t when, std::tm& out) { return syscalls().localTime(when, out); }

int64_t monotonicMilliseconds() { return syscalls().monotonicMilliseconds(); }

}  // namespace msifter::platform
