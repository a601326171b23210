// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/local_time.h"

#include "common/failure.h"
#include "platform/clock.h"

namespace msifter::common {

namespace {
std::string localTimeText(std::time_t when, const char* format) {
  std::tm parts{};
  if (!platform::localTime(when, parts)) fail(err::InvalidArgument);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &parts));
}
}  // namespace

std::string localDateTimeText() { return localTimeText(platform::now(), "%Y/%m/%d %H:%M:%S"); }

std::string localStampText(std::time_t when) { return localTimeText(when, "%Y%m%d%H%M%S"); }

}  // namespace msifter::common
