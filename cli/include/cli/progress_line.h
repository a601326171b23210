// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress of a run on one line of standard error, redrawn in place a
// few times a second: folders searched, then files done of all, bytes, rate
// and time left. Drawn only where someone watches: when standard error is a
// terminal and the run is not quiet. Cleared at the end.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "engine/finder.h"
#include "platform/transfer_meter.h"

namespace msifter::cli {

// "12/285 ファイル   45.2 MB / 120.0 MB   12.3 MB/秒   残り 0:05"; the rate
// and the time left once some time has passed.
std::string progressText(int64_t files, int64_t allFiles, int64_t bytes, int64_t allBytes,
                         int64_t elapsedMilliseconds);

// During the transfer a thread of its own redraws the line four times a
// second, so that it moves inside one large file (the bytes the copy has
// written, from the thread's meter) and through --slow's pauses; the run
// only stores its counts and never waits for a drawing.
class ProgressLine final : public engine::ProgressLabel {
 public:
  explicit ProgressLine(bool shown);
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // The search enters a folder.
  void setCaption(const std::string& folder) override;
  // The transfer starts with these totals; `meter` (may be nullptr) counts
  // the bytes written so far, also of files not yet complete.
  void start(int64_t allFiles, int64_t allBytes, const platform::TransferMeter* meter);
  // Done so far.
  void advance(int64_t files, int64_t bytes);
  // Stops the redrawing and erases the line.
  void clear();

 private:
  bool due();
  void draw(const std::string& text);
  void redraw();
  void stop();

  const bool shown_;
  std::mutex drawing_;  // the line and the fields below it
  bool drawn_ = false;
  int64_t lastDrawn_ = 0;
  int64_t folders_ = 0;
  int64_t started_ = 0;
  int64_t allFiles_ = 0;
  int64_t allBytes_ = 0;
  const platform::TransferMeter* meter_ = nullptr;
  std::atomic<int64_t> files_{0};
  std::atomic<int64_t> bytes_{0};
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread redrawer_;
};

}  // namespace msifter::cli
