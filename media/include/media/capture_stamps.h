#pragma once
// Names by when a photo or film was taken, for a run that asks for capture
// times.
#include <ctime>
#include <string>

#include "cli/capture_time.h"
#include "engine/name_planner.h"

namespace msifter::media {

// A file that cannot be read at all takes the present moment (its transfer
// then says why it fails).
class CaptureStamps final : public engine::StampSource {
 public:
  explicit CaptureStamps(cli::VideoTime videoTime = cli::VideoTime::Utc) : videoTime_(videoTime) {}
  std::tm stampOf(const std::string& source) override;

 private:
  cli::VideoTime videoTime_;
};

}  // namespace msifter::media
