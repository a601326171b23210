// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;

std::vector<DirEntry> listOf(const fs::path& folder) {
  Directory dir;
  EXPECT_EQ(dir.open(folder.string()).code(), 0);
  std::vector<DirEntry> entries;
  EXPECT_EQ(dir.read(entries).code(), 0);
  return entries;
}

// The names in byte order: the listing itself keeps the file system's order.
std::vector<std::string> namesOf(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
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
  ASSERT_EQ(dir.open(top.string()).code(), 0);
  int64_t size = -1;
  EXPECT_EQ(dir.fileSize("link.txt", size).code(), 0);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(dir.fileSize("dangling", size).code(), 0);
  EXPECT_EQ(size, static_cast<int64_t>((top / "missing").string().size()));
  EXPECT_EQ(dir.fileSize("no-such-file", size).code(), ENOENT);
}

// A folder's descriptor goes with it, or with the next folder it opens.
TEST(Directory, KeepsOneDescriptorAndClosesItWhenItGoes) {
  testing::TempEnv env;
  env.writeFile("a/x.txt");
  env.writeFile("b/sub/y.txt");
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = openDescriptors();
  {
    Directory dir;
    ASSERT_EQ(dir.open((env.root() / "a").string()).code(), 0);
    ASSERT_EQ(dir.open((env.root() / "b").string()).code(), 0);
    EXPECT_EQ(openDescriptors(), before + 1);
    Directory child;
    ASSERT_EQ(child.openChild(dir, "sub").code(), 0);
    EXPECT_EQ(openDescriptors(), before + 2);
  }
  EXPECT_EQ(openDescriptors(), before);
}

TEST(Directory, OpenFailsOnMissingFolderOrFile) {
  testing::TempEnv env;
  env.writeFile("plain.txt");
  Directory dir;
  EXPECT_EQ(dir.open((env.root() / "missing").string()).code(), ENOENT);
  EXPECT_FALSE(dir.isOpen());
  EXPECT_EQ(dir.open((env.root() / "plain.txt").string()).code(), ENOTDIR);
  EXPECT_EQ(dir.open(env.root().string() + "/").code(), 0);  // trailing separator is fine
}

TEST(Directory, SizeOfSparseFileBeyond4GiB) {
  testing::TempEnv env;
  const fs::path big = env.root() / "big.bin";
  { std::ofstream(big).put('x'); }
  const int64_t length = (int64_t{5} << 30) + 7;
  ASSERT_EQ(::truncate(big.c_str(), length), 0);
  Directory dir;
  ASSERT_EQ(dir.open(env.root().string()).code(), 0);
  int64_t size = 0;
  EXPECT_EQ(dir.fileSize("big.bin", size).code(), 0);
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
    EXPECT_EQ(dir.open(top + "/x").code(), EACCES);
    ASSERT_EQ(dir.open(top).code(), 0);
    std::vector<DirEntry> entries;
    EXPECT_EQ(dir.read(entries).code(), EIO);
    int64_t size = 0;
    EXPECT_EQ(dir.fileSize("a.txt", size).code(), EIO);
  }
  Directory dir;
  ASSERT_EQ(dir.open(top).code(), 0);
  std::vector<DirEntry> entries;
  EXPECT_EQ(dir.read(entries).code(), 0);
  int64_t size = 0;
  EXPECT_EQ(dir.fileSize("a.txt", size).code(), 0);
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

namespace msifter::platform {
namespace {

// The mover's and undo's looks: any kind of entry, its last link taken or
// looked at itself.
TEST(Directory, LooksFromAFolderTellEachKind) {
  testing::TempEnv env;
  const fs::path top = env.root() / "top";
  env.writeFile("top/photo.jpg", 5);
  fs::create_directory(top / "sub");
  fs::create_symlink(top / "photo.jpg", top / "link.jpg");
  UniqueFd looks;
  ASSERT_TRUE(openFolderForLooks(top.string(), looks).ok());
  using enum FileIdentity::Kind;
  struct Row {
    const char* name;
    LastLink link;
    int error;
    FileIdentity::Kind kind;
  };
  const Row rows[] = {
      {"photo.jpg", LastLink::Refuse, 0, File},     {"sub", LastLink::Refuse, 0, Folder},
      {"link.jpg", LastLink::Refuse, 0, Link},      {"link.jpg", LastLink::Follow, 0, File},
      {"none.jpg", LastLink::Follow, ENOENT, File},
  };
  for (const Row& row : rows) {
    FileIdentity id;
    EXPECT_EQ(lookAt(looks.get(), row.name, row.link, id).code(), row.error) << row.name;
    FileIdentity byPath;
    EXPECT_EQ(identityOf((top / row.name).string(), row.link, byPath).code(), row.error);
    if (row.error != 0) continue;
    EXPECT_EQ(id.kind, row.kind) << row.name;
    EXPECT_TRUE(byPath.sameFile(id)) << row.name;
  }
  EXPECT_EQ(openFolderForLooks((top / "photo.jpg").string(), looks).code(), ENOTDIR);
}

}  // namespace
}  // namespace msifter::platform
