// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs started without a window (tests, benchmarks): every file of the
// source and its subfolders qualifies, and nothing is shown.
#include <string>

#include "engine/run.h"

namespace msifter::testing {

inline options::RunOptions everyFile(const std::string& source, const std::string& destination) {
  options::RunOptions options;
  options.serverDir = source;
  options.receiveDir = destination;
  options.allFile = true;
  options.subFolder = true;
  return options;
}

// Hears what a run tells and shows none of it.
class QuietRun final : public engine::RunObserver {};

}  // namespace msifter::testing
