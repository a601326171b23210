// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/name_planner.h"

#include <algorithm>
#include <string_view>

#include "common/case_mapping.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "engine/identical_files.h"
#include "engine/path_pieces.h"
#include "engine/text_helpers.h"
#include "engine/time_helpers.h"
#include "options/folder_template.h"
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

const DateSourceRow& dateSourceRow(DateSource source) {
  for (const DateSourceRow& row : kDateSources) {
    if (row.source == source) return row;
  }
  return kDateSources[0];
}

std::optional<DateSource> dateSourceNamed(std::string_view word) {
  for (const DateSourceRow& row : kDateSources) {
    if (row.source != DateSource::None && row.word == word) return row.source;
  }
  return std::nullopt;
}

NamePlanner::NamePlanner(const TransferOptions& options, int32_t& serialNumber, StampSource* stamps)
    : method_(options.renameMethod),
      extFix_(options.extFix),
      serialNumber_(serialNumber),
      stamps_(stamps),
      nameLimit_(nameLimitOf(options.receiveDir)),
      folders_(options.folders),
      firstSerial_(serialNumber) {}

// The extension a new name ends with, with its dot; none without one.
std::string NamePlanner::dotExtension(const std::string& source) const {
  std::string ext = gGetFileExt(source);
  if (extFix_) ext = fixExtension(ext);
  return ext.empty() ? "" : "." + ext;
}

NamePlanner::Names NamePlanner::namesFor(const std::string& source) {
  std::string stamp;
  std::string folder;
  dateSource_ = DateSource::None;
  if (method_ == RenameMethod::DateTime && stamps_ != nullptr) {
    const StampSource::Stamp taken = stamps_->stampOf(source);
    stamp = stampText(taken.local);
    folder = folderOf(taken.local);
    dateSource_ = taken.source;
  }
  // Filed by the moment of the transfer: the moment of its first name, kept
  // for the names after it.
  const bool folderLater = !folders_.empty() && stamp.empty();
  return [this, base = gGetFileNameOnly(source), dotExt = dotExtension(source),
          stamp = std::move(stamp), folder = std::move(folder), folderLater,
          attempts = int64_t{0}]() mutable -> std::string {
    if (++attempts > INT32_MAX) common::fail(common::err::FileExists);
    if (method_ == RenameMethod::SerialNumber) {
      if (folderLater && attempts == 1) folder = transferFolder(platform::now());
      return folder + fitted(serialPrefix(folder), base, dotExt);
    }
    if (stamp.empty()) {
      std::string prefix = transferPrefix();
      // The folder of the moment the name says, predicted or not.
      if (folderLater && attempts == 1) folder = transferFolder(lastTime_);
      return folder + fitted(prefix, base, dotExt);
    }
    const std::string prefix = stampPrefix(folder + stamp);
    return prefix.empty() ? prefix : folder + fitted(prefix, base, dotExt);
  };
}

void NamePlanner::useGroups(const std::vector<std::string>& sources, Taken taken) {
  if (method_ != RenameMethod::DateTime || stamps_ == nullptr) return;
  sources_ = &sources;
  groups_ = FileGroups(sources);
  taken_ = std::move(taken);
}

NamePlanner::Names NamePlanner::namesFor(const std::string& source, std::size_t index) {
  const int32_t group = sources_ != nullptr ? groups_.groupOf(index) : -1;
  if (group < 0) return namesFor(source);
  const GroupName& shared = groupName(group);
  dateSource_ = shared.source;
  // The group's name first; should that be taken by the file's turn, names
  // of its own in the group's folder.
  return [this, base = gGetFileNameOnly(source), dotExt = dotExtension(source), shared,
          stamp = shared.prefix.substr(0, shared.prefix.find('_')),
          attempts = int64_t{0}]() mutable -> std::string {
    if (++attempts > INT32_MAX) common::fail(common::err::FileExists);
    if (attempts == 1) return shared.folder + fitted(shared.prefix, base, dotExt);
    const std::string prefix = stampPrefix(shared.folder + stamp);
    return prefix.empty() ? prefix : shared.folder + fitted(prefix, base, dotExt);
  };
}

// A photo or film of the group that knows when it was taken decides; a
// sidecar never does. Without one, the first photo's fallback, or the
// first file's in a group of sidecars alone.
StampSource::Stamp NamePlanner::groupTime(std::span<const uint32_t> members) {
  const std::string* first = nullptr;
  for (const uint32_t place : members) {
    const std::string& member = (*sources_)[place];
    if (isSidecar(member)) continue;
    if (std::optional<StampSource::Stamp> taken = stamps_->capturedAt(member)) return *taken;
    if (first == nullptr) first = &member;
  }
  return stamps_->stampOf(first != nullptr ? *first : (*sources_)[members.front()]);
}

// The group's prefix, chosen when its first member is named: the first
// under which every member's name is free.
const NamePlanner::GroupName& NamePlanner::groupName(int32_t group) {
  if (const auto known = groupNames_.find(group); known != groupNames_.end()) return known->second;
  const std::span<const uint32_t> members = groups_.members(group);
  const StampSource::Stamp taken = groupTime(members);
  GroupName shared{folderOf(taken.local), "", taken.source};
  const std::string stamp = stampText(taken.local);
  for (int64_t attempts = 0; shared.prefix.empty(); ++attempts) {
    if (attempts >= kMaxSameStamp) common::fail(common::err::FileExists);
    std::string prefix = stampPrefix(shared.folder + stamp);
    // No number left for this moment: the members' own names say so.
    if (prefix.empty()) common::fail(common::err::FileExists);
    const bool free = std::none_of(members.begin(), members.end(), [&](uint32_t place) {
      const std::string& member = (*sources_)[place];
      return taken_(shared.folder + fitted(prefix, gGetFileNameOnly(member), dotExtension(member)));
    });
    if (free) shared.prefix = std::move(prefix);
  }
  return groupNames_.emplace(group, std::move(shared)).first->second;
}

// "2024/05/01/" of `when`; "" without a template.
std::string NamePlanner::folderOf(const std::tm& when) const {
  if (folders_.empty()) return {};
  return options::expandFolderTemplate(folders_, when) + "/";
}

std::string NamePlanner::transferFolder(std::time_t t) const {
  std::tm local{};
  if (!platform::localTime(t, local)) common::fail(common::err::BadFileName);
  return folderOf(local);
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

// Each folder counts from the run's first number; the run's number goes on
// from the highest.
std::string NamePlanner::serialPrefix(const std::string& folder) {
  int32_t& next =
      folder.empty() ? serialNumber_ : serialsIn_.try_emplace(folder, firstSerial_).first->second;
  const std::string prefix = zeroPadded(next, 10);
  next = next == INT32_MAX ? 0 : next + 1;
  if (!folder.empty() && next > serialNumber_) serialNumber_ = next;
  return prefix;
}

// "YYYYMMDDHHNNSS" of the local time `t`; formatted once per second.
const std::string& NamePlanner::transferStamp(std::time_t t) {
  if (t != clockTime_ || clockStamp_.empty()) {
    clockStamp_ = common::localStampText(t);
    clockTime_ = t;
  }
  return clockStamp_;
}

std::string NamePlanner::transferPrefix() {
  // A prediction never goes back to a second it has left behind: its
  // names would come again.
  std::time_t t = platform::now();
  if (predicting_ && t < lastTime_) t = lastTime_;
  std::string stamp = transferStamp(t);
  if (stamp == lastStamp_) {
    if (sameStampCount_ + 1 >= kMaxSameStamp) {
      // The counter has run out for this second: the next second starts it
      // again.
      if (predicting_) {
        stamp = transferStamp(++t);
      } else {
        while ((stamp = transferStamp(t = platform::now())) == lastStamp_) gProcSleep(5);
      }
      sameStampCount_ = 0;
    } else {
      ++sameStampCount_;
    }
  } else {
    sameStampCount_ = 0;
  }
  lastTime_ = t;
  lastStamp_ = stamp;
  return stamp + "_" + zeroPadded(sameStampCount_, 5);
}

// A moment that does not move on: once its numbers are used up, none is
// left. `key` is the folder and the stamp; the stamp is what follows the
// folder's last "/".
std::string NamePlanner::stampPrefix(const std::string& key) {
  int32_t& count = stampCounts_[key];
  if (count >= kMaxSameStamp) return "";
  const std::size_t slash = key.rfind('/');
  return key.substr(slash == std::string::npos ? 0 : slash + 1) + "_" + zeroPadded(count++, 5);
}

}  // namespace msifter::engine
