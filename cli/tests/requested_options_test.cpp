// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/run_command.h"
#include "engine/transfer_options.h"
#include "isolated_test.h"
#include "options/option_table.h"
#include "settings/settings_store.h"

namespace msifter::cli {
namespace {

using engine::RenameMethod;
using options::RunOptions;

class RequestedOptionsTest : public testing::IsolatedTest {};

// The options a command line asks for, as the run takes them.
engine::TransferOptions snapshotOf(const std::vector<std::string>& args) {
  std::vector<std::string> line = {"run"};
  line.insert(line.end(), args.begin(), args.end());
  const CommandLine parsed = parseCommandLine(line);
  EXPECT_EQ(parsed.command, Command::Run);
  engine::TransferOptions snapshot;
  EXPECT_TRUE(engine::takeSnapshot(requestedOptions(parsed.run), snapshot));
  return snapshot;
}

void expectSameOptions(const engine::TransferOptions& got, const engine::TransferOptions& want) {
  EXPECT_EQ(got.serverDir, want.serverDir);
  EXPECT_EQ(got.receiveDir, want.receiveDir);
  EXPECT_EQ(got.targetList, want.targetList);
  EXPECT_EQ(got.subFolder, want.subFolder);
  const engine::SearchBounds& g = got.bounds;
  const engine::SearchBounds& w = want.bounds;
  EXPECT_EQ(std::make_pair(g.useMinSize, g.minSizeBytes),
            std::make_pair(w.useMinSize, w.minSizeBytes));
  EXPECT_EQ(std::make_pair(g.useMaxSize, g.maxSizeBytes),
            std::make_pair(w.useMaxSize, w.maxSizeBytes));
  EXPECT_EQ(std::make_pair(g.useCountLimit, g.countLimit),
            std::make_pair(w.useCountLimit, w.countLimit));
  EXPECT_EQ(got.copyFiles, want.copyFiles);
  EXPECT_EQ(got.renameMethod, want.renameMethod);
  EXPECT_EQ(got.extFix, want.extFix);
  EXPECT_EQ(got.slowly, want.slowly);
}

// --from-settings starts from what the window saved at its last run; every
// option given then overrides it, a file-type option the whole choice of
// types. Without it the options are a first start's.
TEST_F(RequestedOptionsTest, SavedSettingsThenTheOptionsGiven) {
  RunOptions last;
  last.serverDir = "/media/card";
  last.receiveDir = "/photos";
  last.allFile = last.subFolder = last.copyFiles = last.useCountLimit = true;
  last.countLimit = 50;
  last.renameMethod = RenameMethod::SerialNumber;
  ASSERT_TRUE(settings::gSetSettingData(last, "2024/01/05 14:30:00"));

  // The saved run as a run takes it; built once (see EachFlagFillsItsOwnRow).
  static const engine::TransferOptions kAsSaved = {
      .serverDir = "/media/card",
      .receiveDir = "/photos",
      .targetList = "*",
      .subFolder = true,
      .bounds = {.useCountLimit = true, .countLimit = 50},
      .copyFiles = true,
      .renameMethod = RenameMethod::SerialNumber};
  static const engine::TransferOptions kSavedWithExtensions = [] {
    engine::TransferOptions o = kAsSaved;
    o.targetList = "/CR2;/NEF";
    return o;
  }();
  struct Row {
    const char* name;
    std::vector<std::string> args;
    engine::TransferOptions expected;
  };
  const Row rows[] = {
      {.name = "as saved", .args = {"--from-settings"}, .expected = kAsSaved},
      {.name = "overridden",
       .args = {"/media/other", "--from-settings", "--images=jpg,TIF", "--no-subfolders", "--move",
                "--date-time", "--limit=7"},
       .expected = {.serverDir = "/media/other",
                    .receiveDir = "/photos",
                    .targetList = "*.TIFF;*.TIF;*.JPG;*.JPEG",
                    .bounds = {.useCountLimit = true, .countLimit = 7}}},
      {.name = "first start",
       .args = {"/s", "/d", "--other=txt;doc", "--min-kb=2"},
       .expected = {.serverDir = "/s",
                    .receiveDir = "/d",
                    .targetList = "TXT;DOC",
                    .bounds = {.useMinSize = true, .minSizeBytes = 2048}}},
      // --ext is a file type too: the saved "all files" goes.
      {.name = "extensions over the saved types",
       .args = {"--from-settings", "--ext=cr2,nef"},
       .expected = kSavedWithExtensions},
      // The last of a pair of switches wins.
      {.name = "switches both ways",
       .args = {"/s", "/d", "--all", "--copy", "--move", "--serial", "--slow", "--fix-ext",
                "--keep-ext", "--max-kb=9"},
       .expected = {.serverDir = "/s",
                    .receiveDir = "/d",
                    .targetList = "*",
                    .bounds = {.useMaxSize = true, .maxSizeBytes = 9216},
                    .renameMethod = RenameMethod::SerialNumber,
                    .slowly = true}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    expectSameOptions(snapshotOf(row.args), row.expected);
  }
  // Only read: the saved run is still the window's.
  settings::SavedSettings saved;
  ASSERT_TRUE(settings::gGetSettingData(saved));
  EXPECT_EQ(saved.options.serverDir, "/media/card");
  EXPECT_TRUE(saved.options.copyFiles);
}

// Each flag of the option table fills the field of its row, and only that
// (with the switch a value turns on): what the window's control of the row
// would set.
TEST_F(RequestedOptionsTest, EachFlagFillsItsOwnRow) {
  struct Row {
    std::vector<std::string> args;
    void (*expect)(RunOptions&);
  };
  const Row rows[] = {
      {{"--subfolders"}, [](RunOptions& o) { o.subFolder = true; }},
      {{"--copy"}, [](RunOptions& o) { o.copyFiles = true; }},
      {{"--slow"}, [](RunOptions& o) { o.slowly = true; }},
      {{"--fix-ext"}, [](RunOptions& o) { o.extFix = true; }},
      {{"--serial"}, [](RunOptions& o) { o.renameMethod = RenameMethod::SerialNumber; }},
      {{"--limit=3"}, [](RunOptions& o) { o.useCountLimit = true, o.countLimit = 3; }},
      {{"--min-kb=4"}, [](RunOptions& o) { o.useMinSize = true, o.minSizeKb = 4; }},
      {{"--max-kb=5"}, [](RunOptions& o) { o.useMaxSize = true, o.maxSizeKb = 5; }},
      {{"--all"}, [](RunOptions& o) { o.allFile = true; }},
      {{"--images=PCD"},
       [](RunOptions& o) { o.graphics = true, o.images.set(options::ImageType::PCD, true); }},
      {{"--other=raw"}, [](RunOptions& o) { o.other = true, o.otherText = "raw"; }},
      {{"--stamp=capture"}, [](RunOptions& o) { o.stamp = options::StampChoice::Capture; }},
      {{"--ext=CR2,.nef"}, [](RunOptions& o) { o.useExtensions = true, o.extensions = "CR2;nef"; }},
      {{"--time-shift", "-0:20:30"}, [](RunOptions& o) { o.timeShift.seconds = -1230; }},
      {{"--video-time=local"}, [](RunOptions& o) { o.videoTime = options::VideoTime::Local; }},
      {{"--skip-identical"}, [](RunOptions& o) { o.skipIdentical = true; }},
      {{"--dry-run"}, [](RunOptions& o) { o.dryRun = true; }},
  };
  // Built once, not per row: GCC 12 at -O2 takes the strings of a local one
  // for uninitialised where they are compared.
  static const RunOptions kFolders = [] {
    RunOptions o;
    o.serverDir = "/s";
    o.receiveDir = "/d";
    return o;
  }();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front());
    std::vector<std::string> args = {"run", "/s", "/d"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    RunOptions expected = kFolders;
    row.expect(expected);
    EXPECT_EQ(requestedOptions(parseCommandLine(args).run), expected);
  }
}

}  // namespace
}  // namespace msifter::cli
