// SPDX-License-Identifier: GPL-3.0-or-later
#include "library_index.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace msifter::engine {
namespace {

// An identity on device 8; times as {seconds, nanoseconds}.
platform::FileIdentity identity(uint64_t inode, int64_t size, std::pair<int64_t, int64_t> modified,
                                std::pair<int64_t, int64_t> changed) {
  return {.device = 8,
          .inode = inode,
          .size = size,
          .modifiedSeconds = modified.first,
          .modifiedNanoseconds = modified.second,
          .changedSeconds = changed.first,
          .changedNanoseconds = changed.second};
}

FolderSnapshot sample() {
  FolderSnapshot s;
  s.identity = identity(12, 4096, {1714550000, 5}, {1714550001, 6});
  IndexedFile plain;
  plain.name = "IMG_0001.JPG";
  plain.identity = identity(13, 3000000, {1, 2}, {3, 4});
  IndexedFile digested = plain;
  digested.name = std::string("\xe5\x86\x99\xe7\x9c\x9f.jpg");  // not ASCII
  digested.headKnown = true;
  digested.head.fill(0xAB);
  digested.wholeKnown = true;
  digested.whole.fill(0xCD);
  s.files = {plain, digested};
  s.folders = {"2024", "05"};
  return s;
}

void expectSame(const FolderSnapshot& a, const FolderSnapshot& b) {
  EXPECT_EQ(a.identity, b.identity);
  ASSERT_EQ(a.files.size(), b.files.size());
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    EXPECT_EQ(a.files[i].name, b.files[i].name);
    EXPECT_EQ(a.files[i].identity, b.files[i].identity);
    EXPECT_EQ(a.files[i].headKnown, b.files[i].headKnown);
    EXPECT_EQ(a.files[i].wholeKnown, b.files[i].wholeKnown);
    EXPECT_EQ(a.files[i].head, b.files[i].head);
    EXPECT_EQ(a.files[i].whole, b.files[i].whole);
  }
  EXPECT_EQ(a.folders, b.folders);
}

TEST(LibraryIndex, AListingReadsBackAsItWasWritten) {
  const std::string bytes = encodeSnapshot(sample());
  FolderSnapshot back;
  ASSERT_TRUE(decodeSnapshot(bytes, back));
  expectSame(back, sample());
}

// A listing damaged on disk is refused, never read past its end and never
// taken for names that leave their folder.
TEST(LibraryIndex, ADamagedListingIsRefused) {
  const std::string good = encodeSnapshot(sample());
  FolderSnapshot out;
  for (std::size_t length = 0; length < good.size(); ++length)
    EXPECT_FALSE(decodeSnapshot(good.substr(0, length), out)) << length;
  EXPECT_FALSE(decodeSnapshot(good + "x", out));

  FolderSnapshot manyFiles = sample();
  const std::string many = encodeSnapshot(manyFiles);
  std::string huge = many;
  huge.replace(56, 4, "\xff\xff\xff\x7f", 4);  // the file count
  EXPECT_FALSE(decodeSnapshot(huge, out));

  for (const char* bad : {"..", ".", "a/b", ""}) {
    FolderSnapshot s = sample();
    s.folders[0] = bad;
    EXPECT_FALSE(decodeSnapshot(encodeSnapshot(s), out)) << bad;
    s = sample();
    s.files[0].name = bad;
    EXPECT_FALSE(decodeSnapshot(encodeSnapshot(s), out)) << bad;
  }
}

}  // namespace
}  // namespace msifter::engine
