#include "platform/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;

std::vector<DirEntry> listOf(const fs::path& folder) {
  Directory dir;
  EXPECT_EQ(dir.open(folder.string()), 0);
  std::vector<DirEntry> entries;
  EXPECT_EQ(dir.read(entries), 0);
  return entries;
}

std::vector<std::string> namesOf(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(EntryOrder, UpperCasedOrdinalOrder) {
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
    EXPECT_EQ(entryNameLess(r.a, r.b), r.less) << r.a << " < " << r.b;
  }
}

TEST(Directory, ListsEveryEntrySortedWithKinds) {
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

TEST(Directory, ListsNamesBeyondAsciiInUpperCasedOrder) {
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
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), entryNameLess));
}

// Names that share a long beginning and differ only far behind it, or only
// in case, or end where others go on: the folder order must still be
// entryNameLess order.
TEST(Directory, NamesWithALongCommonBeginningKeepTheOrder) {
  testing::TempEnv env;
  std::vector<std::string> names;
  for (const char* tail : {"", "a", "A", "a1", "ä", "Ä", "0123456", "01234567", "012345678",
                           "01234567a", "01234567A", "01234567b", "01234567C", "0123456789.jpg",
                           "0123456789.JPG", "0123456789.jpeg", "0123456789.ｊｐｇ"}) {
    names.push_back(std::string("IMG_2024") + tail);
    env.writeFile(fs::path("top") / names.back());
  }
  std::sort(names.begin(), names.end(), entryNameLess);
  EXPECT_EQ(namesOf(listOf(env.root() / "top")), names);
  EXPECT_EQ(names.front(), "IMG_2024");
  EXPECT_EQ(names.back(), "IMG_2024ä");
}

TEST(Directory, SymlinkToFolderIsLeftOutLinkToFileIsAFile) {
  testing::TempEnv env;
  const fs::path top = env.root() / "top";
  env.writeFile("top/real/f.txt", 10);
  fs::create_directory_symlink(top, top / "loop");
  fs::create_symlink(top / "real" / "f.txt", top / "link.txt");
  fs::create_symlink(top / "missing", top / "dangling");

  const auto entries = listOf(top);
  EXPECT_EQ(namesOf(entries), (std::vector<std::string>{"dangling", "link.txt", "real"}));

  Directory dir;
  ASSERT_EQ(dir.open(top.string()), 0);
  int64_t size = -1;
  EXPECT_EQ(dir.fileSize("link.txt", size), 0);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(dir.fileSize("dangling", size), 0);
  EXPECT_EQ(size, static_cast<int64_t>((top / "missing").string().size()));
  EXPECT_EQ(dir.fileSize("no-such-file", size), ENOENT);
}

TEST(Directory, OpenFailsOnMissingFolderOrFile) {
  testing::TempEnv env;
  env.writeFile("plain.txt");
  Directory dir;
  EXPECT_EQ(dir.open((env.root() / "missing").string()), ENOENT);
  EXPECT_FALSE(dir.isOpen());
  EXPECT_EQ(dir.open((env.root() / "plain.txt").string()), ENOTDIR);
  EXPECT_EQ(dir.open(env.root().string() + "/"), 0);  // trailing separator is fine
}

TEST(Directory, SizeOfSparseFileBeyond4GiB) {
  testing::TempEnv env;
  const fs::path big = env.root() / "big.bin";
  { std::ofstream(big).put('x'); }
  const int64_t length = (int64_t{5} << 30) + 7;
  ASSERT_EQ(::truncate(big.c_str(), length), 0);
  Directory dir;
  ASSERT_EQ(dir.open(env.root().string()), 0);
  int64_t size = 0;
  EXPECT_EQ(dir.fileSize("big.bin", size), 0);
  EXPECT_EQ(size, length);
}

// Fails the folder calls chosen by the test; everything else runs for real.
class FailingFolderCalls : public Syscalls {
 public:
  std::string openPath;  // open() of this path fails with EACCES
  bool failRead = false;
  std::string sizeName;  // fstatat() of this entry fails with EIO

  int open(const char* path, int flags, mode_t mode) override {
    if (path == openPath) return failWith(EACCES);
    return Syscalls::open(path, flags, mode);
  }
  struct dirent* readdir(DIR* dir) override {
    if (failRead) {
      errno = EIO;
      return nullptr;
    }
    return Syscalls::readdir(dir);
  }
  int fstatat(int dirFd, const char* name, struct stat* out, int flags) override {
    if (name == sizeName) return failWith(EIO);
    return Syscalls::fstatat(dirFd, name, out, flags);
  }

 private:
  static int failWith(int error) {
    errno = error;
    return -1;
  }
};

TEST(Directory, EachFolderCallCanFail) {
  testing::TempEnv env;
  env.writeFile("top/a.txt", 3);
  const std::string top = (env.root() / "top").string();

  FailingFolderCalls calls;
  calls.openPath = top + "/x";
  calls.failRead = true;
  calls.sizeName = "a.txt";
  {
    ScopedSyscalls seam(calls);
    Directory dir;
    EXPECT_EQ(dir.open(top + "/x"), EACCES);
    ASSERT_EQ(dir.open(top), 0);
    std::vector<DirEntry> entries;
    EXPECT_EQ(dir.read(entries), EIO);
    int64_t size = 0;
    EXPECT_EQ(dir.fileSize("a.txt", size), EIO);
  }
  Directory dir;
  ASSERT_EQ(dir.open(top), 0);
  std::vector<DirEntry> entries;
  EXPECT_EQ(dir.read(entries), 0);
  int64_t size = 0;
  EXPECT_EQ(dir.fileSize("a.txt", size), 0);
  EXPECT_EQ(size, 3);
}

TEST(EntryExists, FilesFoldersLinksButNotEmpty) {
  testing::TempEnv env;
  env.writeFile("f.txt");
  fs::create_symlink(env.root() / "gone", env.root() / "dangling");
  EXPECT_TRUE(entryExists((env.root() / "f.txt").string()));
  EXPECT_TRUE(entryExists(env.root().string()));
  EXPECT_TRUE(entryExists((env.root() / "dangling").string()));
  EXPECT_FALSE(entryExists((env.root() / "gone").string()));
  EXPECT_FALSE(entryExists(""));
}

}  // namespace
}  // namespace msifter::platform
