#include "platform/source_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/directory.h"
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

bool sameFolder(int fd, const fs::path& path) {
  struct stat a {};
  struct stat b {};
  return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

class SourceTreeTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    env.writeFile("src/a/b/c/f.jpg");
    env.writeFile("src/file.txt");
    env.writeFile("outside/secret.jpg");
    fs::create_directory_symlink(env.root() / "outside", src / "a" / "up");
    fs::create_directory_symlink(src / "a" / "b", src / "a" / "in");
    fs::create_symlink(src / "file.txt", src / "a" / "b" / "flink");
    if (!GetParam()) seam.emplace(walkOnly);
  }
  testing::TempEnv env;
  fs::path src = env.root() / "src";
  WithoutOpenat2 walkOnly;
  std::optional<ScopedSyscalls> seam;
};

TEST_P(SourceTreeTest, FoldersBeneathTheBaseAndNoneThroughALink) {
  struct Row {
    const char* relative;
    int error;
    const char* folder;  // the folder opened, when one is
  };
  const Row rows[] = {
      {"", 0, ""},
      {"a/b/c", 0, "a/b/c"},
      {"./a//b/", 0, "a/b"},
      {"a/up", ELOOP, nullptr},  // a link out of the tree
      {"a/up/x", ELOOP, nullptr},
      {"a/in/c", ELOOP, nullptr},  // a link within it
      {"a/b/flink", ELOOP, nullptr},
      {"../outside", EXDEV, nullptr},
      {"a/../../outside", EXDEV, nullptr},
      {"/tmp", EXDEV, nullptr},
      {"file.txt/x", ENOTDIR, nullptr},
      {"a/missing", ENOENT, nullptr},
  };
  const UniqueFd base(::open(src.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const Row& row : rows) {
    UniqueFd folder;
    EXPECT_EQ(openFolderBeneath(base.get(), row.relative, folder).code(), row.error)
        << row.relative;
    if (row.folder != nullptr) {
      EXPECT_TRUE(sameFolder(folder.get(), src / row.folder)) << row.relative;
    }
  }
}

TEST_P(SourceTreeTest, ALinkSwappedInAtAnyLevelIsRefused) {
  // A source named through a link is the folder it names.
  const fs::path named = env.root() / "named-source";
  fs::create_directory_symlink(src, named);
  SourceTree tree;
  ASSERT_TRUE(tree.open(named.string()).ok());
  UniqueFd folder;
  ASSERT_TRUE(tree.openFolderOf(named.string() + "/a/b/c/f.jpg", folder).ok());
  EXPECT_TRUE(sameFolder(folder.get(), src / "a/b/c"));
  ASSERT_TRUE(tree.openFolderOf(named.string() + "/file.txt", folder).ok());
  EXPECT_TRUE(sameFolder(folder.get(), src));
  EXPECT_EQ(tree.openFolderOf((env.root() / "outside/secret.jpg").string(), folder).code(), EXDEV);
  EXPECT_EQ(tree.openFolderOf(named.string() + "/../outside/secret.jpg", folder).code(), EXDEV);

  for (const char* level : {"a", "a/b", "a/b/c"}) {
    const fs::path real = src / (std::string(level) + ".real");
    fs::rename(src / level, real);
    fs::create_directory_symlink(real, src / level);
    const OsError e = tree.openFolderOf(named.string() + "/a/b/c/f.jpg", folder);
    EXPECT_EQ(e.code(), ELOOP) << level << ": " << e.message();
    fs::remove(src / level);
    fs::rename(real, src / level);
  }
}

TEST_P(SourceTreeTest, ACheckOfRecordedFoldersEndsAtAMissingOne) {
  const std::string root = src.string();
  EXPECT_TRUE(checkFoldersBeneath(root, "a/b").ok());
  EXPECT_TRUE(checkFoldersBeneath(root, "a/gone/deeper").ok());
  EXPECT_EQ(checkFoldersBeneath(root, "a/up/gone").code(), ELOOP);
  EXPECT_EQ(checkFoldersBeneath(root, "a/in/gone").code(), ELOOP);
  EXPECT_EQ(checkFoldersBeneath(root, "a/../../outside").code(), EXDEV);
  EXPECT_EQ(checkFoldersBeneath(root + "/gone", "a").code(), ENOENT);
}

INSTANTIATE_TEST_SUITE_P(Kernels, SourceTreeTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "Openat2" : "FolderByFolder";
});

}  // namespace
}  // namespace msifter::platform
