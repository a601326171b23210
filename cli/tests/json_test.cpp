// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json.h"

#include <gtest/gtest.h>

#include "cli/json_keys.h"
#include "cli/texts.h"
#include "platform/syscalls.h"

namespace msifter::cli {
namespace {

// Paths are raw bytes: valid UTF-8 passes as it is, every other byte becomes
// \udcXX, so that a reader gets the exact bytes back.
TEST(JsonString, KeepsUtf8AndEscapesEveryOtherByte) {
  struct Row {
    const char* name;
    std::string bytes;
    const char* expected;
  };
  const Row rows[] = {
      {.name = "plain", .bytes = "/photos/a.jpg", .expected = R"("/photos/a.jpg")"},
      {.name = "quote, backslash, controls",
       .bytes = std::string("a\"b\\c\nd\te\x01"),
       .expected = R"("a\"b\\c\nd\te\u0001")"},
      {.name = "Japanese and a 4-byte sequence",
       .bytes = "写真\xF0\x9F\x98\x80",
       .expected = "\"写真\xF0\x9F\x98\x80\""},
      {.name = "Latin-1 byte", .bytes = "caf\xE9.jpg", .expected = R"("caf\udce9.jpg")"},
      {.name = "sequence cut short", .bytes = "\xE5\x86", .expected = R"("\udce5\udc86")"},
      {.name = "overlong slash", .bytes = "\xC0\xAF", .expected = R"("\udcc0\udcaf")"},
      {.name = "encoded surrogate", .bytes = "\xED\xA0\x80", .expected = R"("\udced\udca0\udc80")"},
      {.name = "beyond U+10FFFF",
       .bytes = "\xF4\x90\x80\x80",
       .expected = R"("\udcf4\udc90\udc80\udc80")"},
      {.name = "NUL", .bytes = std::string("\0", 1), .expected = R"("\u0000")"},
  };
  for (const Row& row : rows) EXPECT_EQ(jsonString(row.bytes), row.expected) << row.name;
}

TEST(JsonObject, MembersInTheOrderAdded) {
  const std::string files = JsonArray().json("1").json(JsonObject().flag("x", false).str()).str();
  EXPECT_EQ(
      JsonObject().text("run", "20240105-143000").number("bytes", -1).json("files", files).str(),
      R"({"run":"20240105-143000","bytes":-1,"files":[1,{"x":false}]})");
}

// Times as a script reads them: ISO 8601, the local time with its offset,
// whichever side of UTC and however many minutes.
TEST(RunJson, TimesWithTheirOffset) {
  struct Zone : platform::Syscalls {
    long offset = 0;
    bool localTime(std::time_t when, std::tm& out) override {
      const std::time_t shifted = when + offset;
      if (::gmtime_r(&shifted, &out) == nullptr) return false;
      out.tm_gmtoff = offset;
      return true;
    }
  } zone;
  platform::ScopedSyscalls scoped(zone);
  const int64_t moment = 1714521997;  // 2024-05-01 00:06:37 UTC
  const std::pair<long, const char*> rows[] = {
      {9 * 3600, "2024-05-01T09:06:37+09:00"},
      {0, "2024-05-01T00:06:37+00:00"},
      {-(3 * 3600 + 30 * 60), "2024-04-30T20:36:37-03:30"},
      {5 * 3600 + 45 * 60, "2024-05-01T05:51:37+05:45"},
  };
  for (const auto& [offset, text] : rows) {
    zone.offset = offset;
    EXPECT_EQ(isoTime(moment), text);
  }
}

// The plain text's paths: a control byte anywhere (in the eight-byte words
// read at once, or in the tail after them) becomes "?"; everything else,
// UTF-8 included, stays; what was in the line before stays too.
TEST(DisplayPath, ControlBytesAnywhereBecomeQuestionMarks) {
  const std::pair<std::string, std::string> rows[] = {
      {"/photos/2024/a.jpg", "/photos/2024/a.jpg"},
      {"/pho\ntos/2024/a.jpg", "/pho?tos/2024/a.jpg"},
      {"/photos/2024/a.jp\x7f", "/photos/2024/a.jp?"},
      {"/photos/\x01\x1f-写真.jpg",
       "/photos/?"
       "?-写真.jpg"},
      {"\xe5\x86\x99\xe7\x9c\x9f\x80\xff\t", "\xe5\x86\x99\xe7\x9c\x9f\x80\xff?"},
  };
  for (const auto& [raw, shown] : rows) {
    EXPECT_EQ(displayPath(raw), shown);
    std::string line = "\tx";
    appendDisplayPath(line, raw);
    EXPECT_EQ(line, "\tx" + shown);
  }
}

// A run's options as a plan, a result and history all write them, the
// import options each under its key; an option a run did not use is null
// or false, not left out.
TEST(RunJson, OptionsCarryTheImportOptions) {
  engine::TransferOptions o;
  o.targetList = "/CR2;*.jpg";
  o.subFolder = true;
  o.bounds.useMinSize = true;
  o.bounds.minSizeBytes = 2048;
  o.renameMethod = engine::RenameMethod::SerialNumber;
  o.stamp = options::StampChoice::Capture;
  o.timeShift = {-(3 * 3600 + 4 * 60 + 6)};
  o.videoTime = options::VideoTime::Local;
  o.skipIdentical = true;
  o.backupDir = "/media/backup";
  o.folders = "%Y/%Y-%m-%d";
  o.groups = true;
  EXPECT_EQ(optionsJson(o).str(),
            R"({"targets":"/CR2;*.jpg","subfolders":true,"min_bytes":2048,"max_bytes":null,)"
            R"("count_limit":null,"names":"serial","fix_extension":false,"slowly":false,)"
            R"("stamp":"capture","time_shift":-11046,"video_time":"local",)"
            R"("skip_identical":true,"backup":"/media/backup","folders":"%Y/%Y-%m-%d",)"
            R"("groups":true})");
  EXPECT_EQ(optionsJson({}).str(),
            R"({"targets":"","subfolders":false,"min_bytes":null,"max_bytes":null,)"
            R"("count_limit":null,"names":"date-time","fix_extension":false,"slowly":false,)"
            R"("stamp":"transfer","time_shift":0,"video_time":"utc","skip_identical":false,)"
            R"("backup":null,"folders":null,"groups":false})");
}

}  // namespace
}  // namespace msifter::cli
