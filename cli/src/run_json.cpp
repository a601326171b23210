// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <ctime>

#include "cli/json_keys.h"
#include "options/run_options.h"
#include "platform/clock.h"

namespace msifter::cli {

std::string isoTime(int64_t seconds) {
  std::tm local{};
  if (!platform::localTime(static_cast<std::time_t>(seconds), local)) return "";
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  // strftime writes the offset as +0900; ISO 8601 wants +09:00.
  if (length < 5) return "";
  std::string iso(text, length);
  return iso.insert(length - 2, ":");
}

JsonObject optionsJson(const engine::TransferOptions& o) {
  JsonObject json;
  json.text("targets", o.targetList).flag("subfolders", o.subFolder);
  const auto limit = [&json](std::string_view name, bool use, int64_t value) {
    if (use) {
      json.number(name, value);
    } else {
      json.json(name, "null");
    }
  };
  limit("min_bytes", o.bounds.useMinSize, o.bounds.minSizeBytes);
  limit("max_bytes", o.bounds.useMaxSize, o.bounds.maxSizeBytes);
  limit("count_limit", o.bounds.useCountLimit, o.bounds.countLimit);
  return json.text("names", options::choiceRow(o.renameMethod).word)
      .flag("fix_extension", o.extFix)
      .flag("slowly", o.slowly)
      .text("stamp", options::choiceRow(o.stamp).word)
      .number("time_shift", o.timeShift.seconds)
      .text("video_time", options::choiceRow(o.videoTime).word)
      .flag("skip_identical", o.skipIdentical)
      .json(key::Backup, o.backupDir.empty() ? "null" : jsonString(o.backupDir))
      .json("folders", o.folders.empty() ? "null" : jsonString(o.folders))
      .flag("groups", o.groups);
}

}  // namespace msifter::cli
