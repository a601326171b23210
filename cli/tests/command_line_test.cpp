// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "isolated_test.h"

namespace msifter::cli {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public testing::IsolatedTest {};

// The command line `args` make, and the first line said on standard error.
std::pair<CommandLine, std::string> parsed(const std::vector<std::string>& args) {
  ::testing::internal::CaptureStderr();
  CommandLine line = parseCommandLine(args);
  const std::string said = ::testing::internal::GetCapturedStderr();
  return {line, said.substr(0, said.find('\n'))};
}

// No option takes the next one as its value and no switch takes a value:
// `--other= --dry-run` once moved files for real.
TEST_F(CommandLineTest, ValuesAreNeverTakenFromTheNextOption) {
  const std::string emptyItem =
      "--other: 拡張子を txt,doc のように , か ; で区切って指定して下さい（空の項目があります）";
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--other=", "--dry-run"}, "--other の値が空です。"},
      {{"--other", "--dry-run"}, "--other の値がありません。"},
      {{"--other", ""}, "--other の値が空です。"},
      {{"--limit", "--", "x"}, "--limit の値がありません。"},
      {{"--max-kb"}, "--max-kb の値がありません。"},
      {{"--dry-run=false"}, "--dry-run に値は指定できません。"},
      // An empty item would take every file.
      {{"--other=raw,,jpg"}, emptyItem},
  };
  for (const auto& [given, message] : refused) {
    SCOPED_TRACE(given.front());
    std::vector<std::string> args = {"run", "/s", "/d", "--all"};
    args.insert(args.end(), given.begin(), given.end());
    const auto [line, said] = parsed(args);
    EXPECT_EQ(line.command, Command::None);
    EXPECT_EQ(line.status, kUsageError);
    EXPECT_EQ(said, message);
  }
  // An empty name (an unset variable) is not the last run.
  EXPECT_EQ(parsed({"undo", ""}).second, "取り消す実行の名前が空です。");
  // "," separates extensions as ";" does; a separator at the end adds none.
  const CommandLine line =
      parseCommandLine({"run", "/s", "/d", "--other", "raw,jpg;", "--dry-run"});
  EXPECT_EQ(line.run.given.otherText, "raw;jpg;");
  EXPECT_TRUE(line.run.given.dryRun);
}

// The values of the capture-time and extension options: a bad one is said
// with the option's name and what was wrong, before anything runs.
TEST_F(CommandLineTest, CaptureTimeAndExtensionValues) {
  const std::pair<std::string, std::string> refused[] = {
      {"--ext=cr2,,nef",
       "--ext: 拡張子を cr2,nef のようにカンマで区切って指定して下さい（空の項目があります）"},
      {"--ext=.",
       "--ext: 拡張子を cr2,nef のようにカンマで区切って指定して下さい（空の項目があります）"},
      {"--ext=tar.gz",
       "--ext: 拡張子は名前の最後の . より後ろの部分です。. や / は含められません（tar.gz）"},
      {"--ext=a/b",
       "--ext: 拡張子は名前の最後の . より後ろの部分です。. や / は含められません（a/b）"},
      {"--time-shift=1:60",
       "--time-shift: 撮影日時のずれは +1:00 や -0:30:15 のように [+-]時:分[:秒] "
       "で指定して下さい（1:60）"},
      {"--video-time=UTC", "--video-time: utc か local を指定して下さい（UTC）"},
  };
  for (const auto& [given, message] : refused) {
    const auto [line, said] = parsed({"run", "/s", "/d", "--stamp=capture", given});
    EXPECT_EQ(line.status, kUsageError) << given;
    EXPECT_EQ(said, message);
  }
  EXPECT_EQ(parsed({"run", "/s", "/d", "--stamp=Capture"}).second,
            "--stamp: transfer か capture を指定して下さい（Capture）");
  // A separator at the end adds none; a dot in front is left out.
  EXPECT_EQ(parseCommandLine({"run", "/s", "/d", "--ext", ".CR2,heic,"}).run.given.extensions,
            "CR2;heic");
  // A negative shift is the option's value, not an option of its own.
  EXPECT_EQ(parseCommandLine({"run", "/s", "/d", "--time-shift", "-1:00"}).run.given.timeShift,
            options::TimeShift{-3600});
  EXPECT_EQ(parsed({"history", ""}).second, "一覧する実行の名前が空です。");
  EXPECT_EQ(parseCommandLine({"history", "20240501-090637"}).historyRun, "20240501-090637");
}

// The form the window's folder check expects, ".." taken as the system
// takes it: after a link, the parent of the link's target.
TEST_F(CommandLineTest, FoldersAreTakenAsTheSystemReadsThem) {
  const fs::path here = fs::canonical(env.root());
  fs::create_directories(here / "x/y");
  fs::create_directory_symlink(here / "x/y", here / "link");
  const fs::path before = fs::current_path();
  fs::current_path(here);
  const std::pair<std::string, std::string> rows[] = {
      {".", here},
      {"..", here.parent_path()},
      {"./x", here / "x"},
      {"x//y/./", here / "x/y"},
      {"link/..", here / "x"},
      {"-odd", here / "-odd"},
      {"/", "/"},
      {"missing/../x", here / "missing/../x"},
  };
  for (const auto& [given, expected] : rows) {
    EXPECT_EQ(parseCommandLine({"run", "--all", "--", given, "/d"}).run.given.serverDir, expected)
        << given;
  }
  fs::current_path(before);
}

}  // namespace
}  // namespace msifter::cli
