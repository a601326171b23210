// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_line.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine/time_helpers.h"

namespace msifter::cli {

namespace {

constexpr int64_t kRedrawMilliseconds = 250;

std::string sizeText(double bytes) {
  const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) bytes /= 1024, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

std::string durationText(int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

}  // namespace

std::string progressText(int64_t files, int64_t allFiles, int64_t bytes, int64_t allBytes,
                         int64_t elapsedMilliseconds) {
  std::string text = std::to_string(files) + "/" + std::to_string(allFiles) + " ファイル   " +
                     sizeText(static_cast<double>(bytes)) + " / " +
                     sizeText(static_cast<double>(allBytes));
  // Under half a second the rate says nothing yet.
  if (elapsedMilliseconds < 500 || bytes <= 0) return text;
  const double rate =
      static_cast<double>(bytes) * 1000.0 / static_cast<double>(elapsedMilliseconds);
  const auto left = static_cast<int64_t>(static_cast<double>(allBytes - bytes) / rate + 0.5);
  return text + "   " + sizeText(rate) + "/秒   残り " + durationText(left < 0 ? 0 : left);
}

ProgressLine::ProgressLine(bool shown) : shown_(shown) {}

ProgressLine::~ProgressLine() { clear(); }

bool ProgressLine::due() {
  const int64_t now = engine::gGetTickCount();
  if (drawn_ && now - lastDrawn_ < kRedrawMilliseconds) return false;
  lastDrawn_ = now;
  return true;
}

void ProgressLine::draw(const std::string& text) {
  // Back to the start of the line, the text, the rest of the line erased.
  std::fprintf(stderr, "\r%s\033[K", text.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::setCaption(const std::string&) {
  if (!shown_) return;
  const std::lock_guard<std::mutex> lock(drawing_);
  ++folders_;
  if (due()) draw("検索中   " + std::to_string(folders_) + " フォルダ");
}

void ProgressLine::start(int64_t allFiles, int64_t allBytes, const platform::TransferMeter* meter) {
  if (!shown_) return;
  stop();
  const std::lock_guard<std::mutex> lock(drawing_);
  allFiles_ = allFiles;
  allBytes_ = allBytes;
  meter_ = meter;
  started_ = engine::gGetTickCount();
  stopping_ = false;
  redrawer_ = std::thread([this] { redraw(); });
}

void ProgressLine::advance(int64_t files, int64_t bytes) {
  files_.store(files, std::memory_order_relaxed);
  bytes_.store(bytes, std::memory_order_relaxed);
}

// Complete files count only once they are on disk; the meter counts bytes
// as they are written. Each falls short of the truth in its own way, so
// the larger of the two is shown, never more than was done.
void ProgressLine::redraw() {
  std::unique_lock<std::mutex> lock(drawing_);
  do {
    const int64_t bytes =
        std::max(bytes_.load(std::memory_order_relaxed), meter_ != nullptr ? meter_->bytes() : 0);
    draw(progressText(files_.load(std::memory_order_relaxed), allFiles_, bytes, allBytes_,
                      engine::gGetTickCount() - started_));
  } while (!wake_.wait_for(lock, std::chrono::milliseconds(kRedrawMilliseconds),
                           [this] { return stopping_; }));
}

void ProgressLine::stop() {
  if (!redrawer_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(drawing_);
    stopping_ = true;
  }
  wake_.notify_all();
  redrawer_.join();
}

void ProgressLine::clear() {
  if (!shown_) return;
  stop();
  const std::lock_guard<std::mutex> lock(drawing_);
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace msifter::cli
