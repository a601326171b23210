// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/text_helpers.h"

#include <limits>

#include "common/failure.h"

namespace msifter::engine {

using common::guardLog;

std::string gGetSpaceString1(const std::string& text, int32_t width, const std::string& padChar,
                             PadSide side) {
  return guardLog("gGetSpaceString1", text, [&] {
    std::string result = text;
    if (gGetByteLength(padChar) == 1 && width >= 0) {
      const int64_t k = int64_t{width} - gGetByteLength(text);
      if (k >= 0) {
        const std::string pad(static_cast<std::size_t>(k), padChar[0]);
        if (side == PadSide::Left) {
          result.insert(0, pad);
        } else if (side == PadSide::Right) {
          result.append(pad);
        } else {
          gProcNothing();
        }
      }
    }
    return result;
  });
}

int32_t gGetByteLength(const std::string& text) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(text.size() < kMax ? text.size() : kMax);
}

bool gProcNothing() { return true; }

}  // namespace msifter::engine
