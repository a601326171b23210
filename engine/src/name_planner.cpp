#include "engine/name_planner.h"

#include <algorithm>
#include <string_view>

#include "common/case_mapping.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "engine/path_pieces.h"
#include "engine/text_helpers.h"
#include "engine/time_helpers.h"
#include "platform/clock.h"
#include "platform/mounts.h"

namespace msifter::engine {

namespace {

// Counters 00000 to 99998: five digits, 99999 names a second.
constexpr int32_t kMaxSameStamp = 99999;

// The longest name Linux file systems take, in bytes (NAME_MAX).
constexpr std::size_t kNameMax = 255;

std::string zeroPadded(int32_t number, int32_t width) {
  return gGetSpaceString1(std::to_string(number), width, "0", PadSide::Left);
}

// Each letter to its own lower case (a full-width ＪＰＧ becomes ｊｐｇ, never
// jpg); only the ASCII "jpeg" is shortened.
std::string fixExtension(const std::string& ext) {
  std::string lower = common::lowerCase(ext);
  return lower == "jpeg" ? "jpg" : lower;
}

// The file-name limit of the file system holding `folder`: a name longer
// than that would be planned and then refused by the run.
std::size_t nameLimitOf(const std::string& folder) {
  platform::FileSystemStats stats;
  if (platform::fileSystemStats(folder, stats) || stats.maxNameLength == 0) return kNameMax;
  return std::min<std::size_t>(kNameMax, stats.maxNameLength);
}

// The length of the longest start of `text` within `bytes` that ends
// between two characters. A byte that is not part of valid UTF-8 counts as
// a character of its own, so no cut breaks a sequence that was whole.
std::size_t characterBoundary(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    common::decodeUtf8(text, i);
    if (i > bytes) break;
    end = i;
  }
  return end;
}

std::string stampText(const std::tm& local) {
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local));
}

}  // namespace

NamePlanner::NamePlanner(const TransferOptions& options, int32_t& serialNumber, StampSource* stamps)
    : method_(options.renameMethod),
      extFix_(options.extFix),
      serialNumber_(serialNumber),
      stamps_(stamps),
      nameLimit_(nameLimitOf(options.receiveDir)) {}

NamePlanner::Names NamePlanner::namesFor(const std::string& source) {
  std::string ext = gGetFileExt(source);
  if (extFix_) ext = fixExtension(ext);
  // Without an extension the name ends without the dot.
  std::string dotExt = ext.empty() ? "" : "." + ext;
  std::string stamp;
  if (method_ == RenameMethod::DateTime && stamps_ != nullptr)
    stamp = stampText(stamps_->stampOf(source));
  return [this, base = gGetFileNameOnly(source), dotExt = std::move(dotExt),
          stamp = std::move(stamp), attempts = int64_t{0}]() mutable -> std::string {
    if (++attempts > INT32_MAX) common::fail(common::err::FileExists);
    if (method_ == RenameMethod::SerialNumber) return fitted(serialPrefix(), base, dotExt);
    if (stamp.empty()) return fitted(transferPrefix(), base, dotExt);
    const std::string prefix = stampPrefix(stamp);
    return prefix.empty() ? prefix : fitted(prefix, base, dotExt);
  };
}

// prefix + "_" + base + dotExt, the end of `base` cut off where the whole
// would pass the limit.
std::string NamePlanner::fitted(const std::string& prefix, const std::string& base,
                                const std::string& dotExt) const {
  const std::size_t kept = prefix.size() + 1 + dotExt.size();
  if (kept > nameLimit_) common::fail(common::err::BadFileName);
  std::string name;
  name.reserve(kept + base.size());
  name.append(prefix).append(1, '_');
  name.append(base, 0, characterBoundary(base, nameLimit_ - kept));
  return name.append(dotExt);
}

std::string NamePlanner::serialPrefix() {
  const std::string prefix = zeroPadded(serialNumber_, 10);
  serialNumber_ = serialNumber_ == INT32_MAX ? 0 : serialNumber_ + 1;
  return prefix;
}

// "YYYYMMDDHHNNSS" of the local time now; formatted once per second.
const std::string& NamePlanner::transferStamp() {
  const std::time_t t = platform::now();
  if (t != clockTime_ || clockStamp_.empty()) {
    clockStamp_ = common::localStampText(t);
    clockTime_ = t;
  }
  return clockStamp_;
}

std::string NamePlanner::transferPrefix() {
  std::string stamp = transferStamp();
  if (stamp == lastStamp_) {
    if (sameStampCount_ + 1 >= kMaxSameStamp) {
      // The counter has run out for this second: the next second starts it
      // again.
      while ((stamp = transferStamp()) == lastStamp_) gProcSleep(5);
      sameStampCount_ = 0;
    } else {
      ++sameStampCount_;
    }
  } else {
    sameStampCount_ = 0;
  }
  lastStamp_ = stamp;
  return stamp + "_" + zeroPadded(sameStampCount_, 5);
}

// A moment that does not move on: once its numbers are used up, none is left.
std::string NamePlanner::stampPrefix(const std::string& stamp) {
  int32_t& count = stampCounts_[stamp];
  if (count >= kMaxSameStamp) return "";
  return stamp + "_" + zeroPadded(count++, 5);
}

}  // namespace msifter::engine
