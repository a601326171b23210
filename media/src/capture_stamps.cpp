#include "media/capture_stamps.h"

#include <optional>

#include "platform/clock.h"

namespace msifter::media {

std::tm CaptureStamps::stampOf(const std::string& source) {
  if (const std::optional<cli::CaptureTime> taken = cli::readCaptureTime(source, videoTime_))
    return taken->local;
  std::tm local{};
  platform::localTime(platform::now(), local);
  return local;
}

}  // namespace msifter::media
