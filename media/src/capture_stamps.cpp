#include "media/capture_stamps.h"

#include <optional>

#include "platform/clock.h"

namespace msifter::media {

engine::StampSource::Stamp CaptureStamps::stampOf(const std::string& source) {
  if (const std::optional<cli::CaptureTime> taken = cli::readCaptureTime(source, videoTime_)) {
    if (const std::optional<std::tm> shifted = cli::shiftedTime(taken->local, shift_))
      return {*shifted, taken->source};
  }
  Stamp stamp;
  platform::localTime(platform::now(), stamp.local);
  return stamp;
}

}  // namespace msifter::media
