// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::legacy {
namespace {

namespace fs = std::filesystem;

using testing::readText;

TEST(TransferHelpers, MoveAndCopyNeverReplaceAndReportRefusals) {
  testing::TempEnv env;
  testing::RecordingUi ui;
  const fs::path a = env.writeFile("a.jpg", 3, 'a');
  const fs::path b = env.writeFile("b.jpg", 3, 'b');
  EXPECT_FALSE(gMoveFile(a, b, false));
  EXPECT_FALSE(gCopyFile(a, b));
  EXPECT_EQ(readText(b), "bbb");
  EXPECT_EQ(readText(a), "aaa");
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("gMoveFile"), std::string::npos);
  EXPECT_NE(log.find("gCopyFile"), std::string::npos);

  EXPECT_TRUE(gCopyFile(a, env.root() / "c.jpg"));
  EXPECT_EQ(readText(a), "aaa");
  EXPECT_TRUE(gMoveFile(a, env.root() / "d.jpg", false));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(readText(env.root() / "d.jpg"), "aaa");
}

TEST(TransferHelpers, DriveMediaConditionOnlyForMountPoints) {
  EXPECT_TRUE(gChkDriveMediaCondition("/"));
  EXPECT_FALSE(gChkDriveMediaCondition("/no/such/drive"));
}

TEST(FileHelpers, ProcTransString) {
  struct Row {
    std::string text, find, replace;
    int32_t maxCount, doneStart;
    std::string result;
    int32_t doneEnd;
  };
  const std::string nul(1, '\0');
  const Row rows[] = {
      {"abc", "x", "y", -1, 0, "abc", 1},      // not found: unchanged, one counted
      {"a.b.c", ".", "/", -1, 0, "a/b/c", 3},  // one over the replacements made
      {"a.b.c", ".", "/", 1, 0, "a/b.c", 1},   // the limit stops it
      {"a.b.c", ".", "/", 2, 0, "a/b/c", 2},
      {"a.b", ".", "/", 0, 0, "a.b", 0},
      {"aaa", "a", "aa", -1, 0, "aaaaaa", 4},           // never rescans what it inserted
      {"/tmp" + nul + nul, nul, "", -1, 0, "/tmp", 3},  // the folder dialog's NUL clean-up
      {"abc", "", "x", -1, 0, "abc", 1},                // an empty findText finds nothing
      {"a.b", ".", "/", 5, 5, "a.b", 5},
  };
  for (const auto& r : rows) {
    std::string text = r.text;
    int32_t done = r.doneStart;
    EXPECT_TRUE(gProcTransString(text, r.find, r.replace, r.maxCount, done)) << r.text;
    EXPECT_EQ(text, r.result) << r.text;
    EXPECT_EQ(done, r.doneEnd) << r.text;
  }
}

}  // namespace
}  // namespace msifter::legacy
