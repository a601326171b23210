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
