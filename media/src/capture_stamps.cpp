// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/capture_stamps.h"

#include <optional>

#include "platform/clock.h"

namespace msifter::media {

engine::StampSource::Stamp CaptureStamps::stampOf(const std::string& source) {
  if (source == lastPath_ && !source.empty()) return last_;
  lastPath_ = source;
  if (const std::optional<cli::CaptureTime> taken = cli::readCaptureTime(source, videoTime_)) {
    if (const std::optional<std::tm> shifted = cli::shiftedTime(taken->local, shift_))
      return last_ = {*shifted, taken->source};
  }
  last_ = Stamp{};
  platform::localTime(platform::now(), last_.local);
  return last_;
}

}  // namespace msifter::media
