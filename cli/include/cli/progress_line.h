#pragma once
// The progress of a run on one line of standard error, redrawn in place a
// few times a second: folders searched, then files done of all, bytes, rate
// and time left. Drawn only where someone watches: when standard error is a
// terminal and the run is not quiet. Cleared at the end.
#include <cstdint>
#include <string>

#include "engine/finder.h"

namespace msifter::cli {

// "12/285 ファイル   45.2 MB / 120.0 MB   12.3 MB/秒   残り 0:05"; the rate
// and the time left once some time has passed.
std::string progressText(int64_t files, int64_t allFiles, int64_t bytes, int64_t allBytes,
                         int64_t elapsedMilliseconds);

class ProgressLine final : public engine::ProgressLabel {
 public:
  explicit ProgressLine(bool shown);
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // The search enters a folder.
  void setCaption(const std::string& folder) override;
  // The transfer starts with these totals.
  void start(int64_t allFiles, int64_t allBytes);
  // Done so far; drawn when the last drawing is old enough.
  void advance(int64_t files, int64_t bytes);
  void clear();

 private:
  bool due();
  void draw(const std::string& text);

  bool shown_;
  bool drawn_ = false;
  int64_t lastDrawn_ = 0;
  int64_t started_ = 0;
  int64_t folders_ = 0;
  int64_t allFiles_ = 0;
  int64_t allBytes_ = 0;
};

}  // namespace msifter::cli
