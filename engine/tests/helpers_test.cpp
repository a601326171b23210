// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "engine/path_pieces.h"
#include "engine/text_helpers.h"
#include "engine/time_helpers.h"

namespace msifter::engine {
namespace {

TEST(FileHelpers, FileNamePieces) {
  struct Row {
    std::string path, ext, nameOnly;
  };
  const Row rows[] = {{"/a.b/c.JPEG", "JPEG", "c"},
                      {"/a.b/c", "", "c"},
                      {"/a.b/c.tar.gz", "gz", "c.tar"},
                      {"/a.b/c.", "", "c"},
                      {"/a/", "", ""}};
  for (const Row& row : rows) {
    EXPECT_EQ(gGetFileExt(row.path), row.ext) << row.path;
    EXPECT_EQ(gGetFileNameOnly(row.path), row.nameOnly) << row.path;
  }
}

TEST(FileHelpers, GetSpaceString1) {
  struct Row {
    std::string text;
    int32_t width;
    std::string pad;
    PadSide side;
    std::string result;
  };
  constexpr PadSide Left = PadSide::Left, Right = PadSide::Right;
  const Row rows[] = {
      {"7", 5, "0", Left, "00007"},
      {"7", 5, " ", Right, "7    "},
      {"123456", 5, "0", Left, "123456"},  // never cut
      {"12345", 5, "0", Left, "12345"},
      {"7", 5, "00", Left, "7"},  // pad of two bytes: unchanged
      {"7", 5, "０", Left, "7"},  // a double-byte pad is not one byte either
      {"7", 5, "", Left, "7"},
      {"7", 5, "0", static_cast<PadSide>(3), "7"},  // any other side does nothing
      {"7", -1, "0", Left, "7"},
      {"あ", 5, "*", Left, "**あ"},  // width counts bytes: "あ" takes three
      {"", 3, "-", Right, "---"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(gGetSpaceString1(r.text, r.width, r.pad, r.side), r.result) << r.text << "/" << r.pad;
  }
}

TEST(FileHelpers, ProcSleep) {
  EXPECT_FALSE(gProcSleep(-1));
  EXPECT_TRUE(gProcSleep(0));
  EXPECT_TRUE(gProcSleep(1));
}

TEST(FileHelpers, ByteLengthAndTickCount) {
  EXPECT_EQ(gGetByteLength("abc"), 3);
  EXPECT_EQ(gGetByteLength("写真"), 6);
  const int64_t first = gGetTickCount();
  gProcSleep(20);
  EXPECT_GE(gGetTickCount() - first, 20);
  EXPECT_TRUE(gProcNothing());
}

}  // namespace
}  // namespace msifter::engine
