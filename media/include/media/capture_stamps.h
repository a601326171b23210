// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names by when a photo or film was taken, for a run that asks for capture
// times: the window's and the command line's.
#include <ctime>
#include <string>

#include "cli/capture_time.h"
#include "engine/name_planner.h"
#include "options/run_options.h"

namespace msifter::media {

// Each capture time with the run's correction added. A file without one,
// or whose corrected time no name can hold, takes the present moment
// unshifted (a file that cannot be read at all: its transfer then says why
// it fails).
class CaptureStamps final : public engine::StampSource {
 public:
  explicit CaptureStamps(const options::RunOptions& options)
      : shift_(options.timeShift), videoTime_(options.videoTime) {}
  Stamp stampOf(const std::string& source) override;

 private:
  options::TimeShift shift_;
  options::VideoTime videoTime_;
  // A group's photo is asked both ways when it tells no capture time
  // (capturedAt, then stampOf): read once.
  std::string lastPath_;
  Stamp last_;
};

}  // namespace msifter::media
