// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/find_file.h"

#include <gtest/gtest.h>

#include "source_folder_test.h"

namespace msifter::legacy {
namespace {

using FinderTest = testing::SourceFolderTest;

// The procedure with its eighteen parameters hands each one on to its place.
TEST_F(FinderTest, WithoutAListEntriesGoToTheText) {
  file("a.jpg");
  file("b.jpg", 5);
  file("sub/c.jpg", 3);
  file("sub/d.jpg", 4);  // past the count limit
  std::string text = "before\r\n";
  int32_t fileCount = 1;
  int64_t byteTotal = 10;
  EXPECT_TRUE(gFindFile(dir(), "*.JPG", true, nullptr, &label, true, text, true, 1, true, 5, true,
                        3, fileCount, byteTotal, true, true, 1));
  EXPECT_EQ(text, "before\r\n_____file2*" + dir("b.jpg") + "\r\ndirectory2*" + dir("sub/") +
                      "\r\n_____file3*" + dir("sub/c.jpg") + "\r\n");
  EXPECT_EQ(fileCount, 3);
  EXPECT_EQ(byteTotal, 18);
  EXPECT_EQ(label.captions, (std::vector<std::string>{dir() + "/", dir("sub/")}));
}

}  // namespace
}  // namespace msifter::legacy
