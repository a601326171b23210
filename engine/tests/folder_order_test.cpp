// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/folder_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/directory.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

// A folder's entries as the finder takes them.
std::vector<platform::DirEntry> listOf(const fs::path& folder) {
  platform::Directory dir;
  EXPECT_EQ(dir.open(folder.string()).code(), 0);
  std::vector<platform::DirEntry> entries;
  EXPECT_EQ(dir.read(entries).code(), 0);
  sortInFolderOrder(entries);
  return entries;
}

std::vector<std::string> namesOf(const std::vector<platform::DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(FolderOrder, UpperCasedOrdinalOrder) {
  struct Row {
    std::string a, b;
    bool less;
  };
  const Row rows[] = {
      {"a", "B", true},  // case does not count
      {"B", "a", false},
      {"Z", "_", true},     // "_" (0x5F) sorts after upper-case letters
      {"a", "_", true},     // lower-case letters sort with the upper-case ones
      {"ab", "AB", false},  // equal apart from case: raw bytes decide ("A" < "a")
      {"AB", "ab", true},
      {"a", "a.txt", true},         // a prefix comes first
      {"z", "\xE3\x81\x82", true},  // bytes compare unsigned: UTF-8 after ASCII
      {"x.jpg", "x.jpg", false},
      // Letters beyond ASCII sort with their upper case too.
      {"ärger", "ÄRGES", true},
      {"ＺＺ", "ｙ", false},  // full-width: Ｙ < Ｚ once both are upper case
      {"αβ", "ΑΓ", true},
      {"ю", "Я", true},
      {"Ä", "ä", true},  // equal apart from case: raw bytes decide
      {"ä", "Ä", false},
      {"ｶ", "ｱ", false},          // half-width katakana have no case
      {"a\xFF", "A\xFE", false},  // invalid bytes compare as they are
      {"\xFF", "a", false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(folderOrderLess(r.a, r.b), r.less) << r.a << " < " << r.b;
  }
}

TEST(FolderOrder, ListsEveryEntrySortedWithKinds) {
  testing::TempEnv env;
  const fs::path top = env.root() / "top";
  env.writeFile("top/b.txt");
  env.writeFile("top/A.jpg");
  env.writeFile("top/.hidden");
  env.writeFile("top/c.JPG");
  fs::create_directories(top / "Sub");
  fs::create_directories(top / "a_dir");
  const std::string raw = "bad\xFF\xFEname.jpg";
  env.writeFile(fs::path("top") / raw);

  const auto entries = listOf(top);
  const std::vector<std::string> expected = {".hidden", "A.jpg", "a_dir", "b.txt",
                                             raw,       "c.JPG", "Sub"};
  EXPECT_EQ(namesOf(entries), expected);
  for (const auto& e : entries) {
    EXPECT_EQ(e.isDirectory, e.name == "Sub" || e.name == "a_dir") << e.name;
  }
}

TEST(FolderOrder, ListsNamesBeyondAsciiInUpperCasedOrder) {
  testing::TempEnv env;
  const std::vector<std::string> expected = {"a.txt",
                                             "B.txt",
                                             "Ä.txt",
                                             "ä.txt",
                                             "ärger",
                                             "ÄRGES",
                                             "ΑΒ",
                                             "ωμέγα",
                                             "ЮГ",
                                             "я",
                                             "写真.JPG",
                                             "ａ",
                                             "Ｂ",
                                             "ｃ",
                                             "ｱ",
                                             "\xFF"
                                             "bad"};
  for (auto it = expected.rbegin(); it != expected.rend(); ++it)
    env.writeFile(fs::path("top") / *it);
  const auto names = namesOf(listOf(env.root() / "top"));
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), folderOrderLess));
}

// Names that share a long beginning and differ only far behind it, or only
// in case, or end where others go on: the folder order must still be
// folderOrderLess order.
TEST(FolderOrder, NamesWithALongCommonBeginningKeepTheOrder) {
  testing::TempEnv env;
  std::vector<std::string> names;
  for (const char* tail : {"", "a", "A", "a1", "ä", "Ä", "0123456", "01234567", "012345678",
                           "01234567a", "01234567A", "01234567b", "01234567C", "0123456789.jpg",
                           "0123456789.JPG", "0123456789.jpeg", "0123456789.ｊｐｇ"}) {
    names.push_back(std::string("IMG_2024") + tail);
    env.writeFile(fs::path("top") / names.back());
  }
  std::sort(names.begin(), names.end(), folderOrderLess);
  EXPECT_EQ(namesOf(listOf(env.root() / "top")), names);
  EXPECT_EQ(names.front(), "IMG_2024");
  EXPECT_EQ(names.back(), "IMG_2024ä");
}

}  // namespace
}  // namespace msifter::engine
