// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/source_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;

// A kernel older than openat2: the folders are walked one by one.
struct WithoutOpenat2 : Syscalls {
  int openAt2(int, const char*, int, uint64_t) override {
    errno = ENOSYS;
    return -1;
  }
};

class SourceTreeTest : public ::testing::TestWithParam<bool> {};

TEST_P(SourceTreeTest, TheFolderOfAListedFileAndNoLinkAtAnyLevel) {
  testing::TempEnv env;
  const fs::path src = env.root() / "src";
  env.writeFile("src/a/b/c/f.jpg");
  env.writeFile("src/file.txt");
  fs::create_symlink(src / "file.txt", src / "a/flink");
  // A source named through a link is the folder it names.
  const std::string named = (env.root() / "named").string();
  fs::create_directory_symlink(src, named);
  WithoutOpenat2 walkOnly;
  std::optional<ScopedSyscalls> seam;
  if (!GetParam()) seam.emplace(walkOnly);

  SourceTree tree;
  ASSERT_TRUE(tree.open(named).ok());
  UniqueFd folder;
  ASSERT_TRUE(tree.openFolderOf(named + "/a/b/c/f.jpg", folder).ok());
  struct stat opened {};
  struct stat c {};
  ASSERT_EQ(::fstat(folder.get(), &opened), 0);
  ASSERT_EQ(::stat((src / "a/b/c").c_str(), &c), 0);
  EXPECT_EQ(opened.st_ino, c.st_ino);
  const std::pair<std::string, int> rows[] = {
      {"/file.txt", 0},
      {"/a/flink/x.jpg", ELOOP},  // a link to a file is no folder to pass
      {"/file.txt/x.jpg", ENOTDIR},
      {"/a/../../outside.jpg", EXDEV},
      {"/../src/a.jpg", EXDEV},
      {"-elsewhere/a.jpg", EXDEV},
  };
  for (const auto& [file, error] : rows)
    EXPECT_EQ(tree.openFolderOf(named + file, folder).code(), error) << file;

  // Swapped for a link to the same folder moved aside, or to one outside.
  env.writeFile("outside/f.jpg");
  const fs::path aside = src / "aside";
  for (const char* level : {"a", "a/b", "a/b/c"}) {
    for (const fs::path& target : {aside, env.root() / "outside"}) {
      fs::rename(src / level, aside);
      fs::create_directory_symlink(target, src / level);
      const OsError e = tree.openFolderOf(named + "/a/b/c/f.jpg", folder);
      EXPECT_EQ(e.code(), ELOOP) << level << " -> " << target << ": " << e.message();
      fs::remove(src / level);
      fs::rename(aside, src / level);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, SourceTreeTest, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "Openat2" : "FolderByFolder"; });

}  // namespace
}  // namespace msifter::platform
