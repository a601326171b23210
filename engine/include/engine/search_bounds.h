// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What keeps a found file out of a search, and when the search ends: a
// length below or above its bound (in bytes), and the count of files taken.
// The run's snapshot and the search hold the same bounds.
#include <cstdint>

namespace msifter::engine {

struct SearchBounds {
  bool useMinSize = false;
  int64_t minSizeBytes = 0;
  bool useMaxSize = false;
  int64_t maxSizeBytes = 0;
  bool useCountLimit = false;
  int32_t countLimit = 0;  // files taken, after which the search stops
};

}  // namespace msifter::engine
