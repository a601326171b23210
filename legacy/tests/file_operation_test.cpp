// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/file_operation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::legacy {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::writeText;

struct Views {
  bool respond, rename, simple, confirmMkdir, show, undo, silent;
  bool operator==(const Views&) const = default;
};

Views read(const clsFileOperation& op) {
  return {op.RespondDialog(), op.RenameOnCollision(), op.SimpleProgress(), op.ConfirmMakeDir(),
          op.ShowDialog(),    op.AllowUndo(),         op.Sielnt()};
}

TEST(FileOperation, NewObjectShowsDialogsAndConfirmsFolders) {
  clsFileOperation op;
  EXPECT_EQ(read(op), (Views{false, false, false, true, true, false, false}));
  op.Target(12345);
  EXPECT_EQ(op.Target(), 0);
}

// Each property sets or clears its own bit and leaves the others alone.
TEST(FileOperation, EachPropertyOwnsOneBit) {
  struct Row {
    const char* name;
    std::function<void(clsFileOperation&, bool)> set;
    Views afterTrue;
  };
  const Row rows[] = {
      {"RespondDialog",
       [](clsFileOperation& o, bool v) { o.RespondDialog(v); },
       {true, false, false, true, true, false, false}},
      {"RenameOnCollision",
       [](clsFileOperation& o, bool v) { o.RenameOnCollision(v); },
       {false, true, false, true, true, false, false}},
      {"SimpleProgress",
       [](clsFileOperation& o, bool v) { o.SimpleProgress(v); },
       {false, false, true, true, true, false, false}},
      {"ConfirmMakeDir",
       [](clsFileOperation& o, bool v) { o.ConfirmMakeDir(!v); },
       {false, false, false, false, true, false, false}},
      {"ShowDialog",
       [](clsFileOperation& o, bool v) { o.ShowDialog(!v); },
       {false, false, false, true, false, false, true}},
      {"AllowUndo",
       [](clsFileOperation& o, bool v) { o.AllowUndo(v); },
       {false, false, false, true, true, true, false}},
      {"Sielnt",
       [](clsFileOperation& o, bool v) { o.Sielnt(v); },
       {false, false, false, true, false, false, true}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clsFileOperation op;
    row.set(op, true);
    EXPECT_EQ(read(op), row.afterTrue);
    row.set(op, false);
    EXPECT_EQ(read(op), (Views{false, false, false, true, true, false, false}));
  }
  // With every other bit on, clearing one leaves the rest.
  clsFileOperation op;
  op.RespondDialog(true);
  op.AllowUndo(true);
  op.Sielnt(true);
  op.ConfirmMakeDir(false);
  op.Sielnt(false);
  EXPECT_EQ(read(op), (Views{true, false, false, false, true, true, false}));
}

// Records the paths the operations hand to the system.
struct RecordingCalls : platform::Syscalls {
  std::vector<std::string> lstats, renames;
  int lstat(const char* path, struct stat* out) override {
    lstats.emplace_back(path);
    return Syscalls::lstat(path, out);
  }
  int renameNoReplace(const char* from, const char* to) override {
    renames.emplace_back(from);
    return Syscalls::renameNoReplace(from, to);
  }
};

class FileOperationOnFiles : public ::testing::Test {
 protected:
  testing::TempEnv env;
  fs::path root = env.root();
};

TEST_F(FileOperationOnFiles, DeleteDropsOnlyOneTrailingSeparator) {
  writeText(root / "box/a.txt", "a");
  RecordingCalls calls;
  platform::ScopedSyscalls scoped(calls);
  clsFileOperation op;
  EXPECT_TRUE(op.Delete((root / "box").string() + "//"));
  ASSERT_FALSE(calls.lstats.empty());
  EXPECT_EQ(calls.lstats.front(), (root / "box").string() + "/");
  EXPECT_FALSE(fs::exists(root / "box"));
}

TEST_F(FileOperationOnFiles, MovePassesAFolderPathUnchanged) {
  writeText(root / "box/a.txt", "a");
  RecordingCalls calls;
  platform::ScopedSyscalls scoped(calls);
  clsFileOperation op;
  EXPECT_TRUE(op.Move((root / "box").string() + "/", (root / "moved").string()));
  ASSERT_EQ(calls.renames.size(), 1u);
  EXPECT_EQ(calls.renames[0], (root / "box").string() + "/");
  EXPECT_EQ(readText(root / "moved/a.txt"), "a");
}

TEST_F(FileOperationOnFiles, MoveNeverReplacesAndSaysWhy) {
  writeText(root / "a.jpg", "new");
  writeText(root / "out/b.jpg", "old");
  clsFileOperation op;
  op.RespondDialog(true);
  op.Sielnt(true);
  EXPECT_FALSE(op.Move((root / "a.jpg").string(), (root / "out/b.jpg").string()));
  EXPECT_TRUE(op.TargetExisted());
  EXPECT_EQ(readText(root / "out/b.jpg"), "old");
  EXPECT_FALSE(op.Move((root / "none.jpg").string(), (root / "out/c.jpg").string()));
  EXPECT_FALSE(op.TargetExisted());
  EXPECT_TRUE(op.Move((root / "a.jpg").string(), (root / "out/c.jpg").string()));
  EXPECT_EQ(readText(root / "out/c.jpg"), "new");
}

TEST_F(FileOperationOnFiles, CopyReplacesTheOptionsBySilentAlone) {
  writeText(root / "a.jpg", "photo");
  clsFileOperation op;
  op.RespondDialog(true);
  op.AllowUndo(true);
  op.RenameOnCollision(true);
  op.ConfirmMakeDir(false);
  // With the options dropped the missing folder is not made.
  EXPECT_FALSE(op.Copy((root / "a.jpg").string(), (root / "new/a.jpg").string()));
  EXPECT_EQ(read(op), (Views{false, false, false, true, false, false, true}));
  EXPECT_TRUE(op.Copy((root / "a.jpg").string(), (root / "b.jpg").string()));
  EXPECT_EQ(readText(root / "a.jpg"), "photo");
  EXPECT_EQ(readText(root / "b.jpg"), "photo");
}

TEST_F(FileOperationOnFiles, TrashSendsTheFileToTheTrash) {
  env.setVar("XDG_DATA_HOME", (root / "data").string());
  writeText(root / "a.jpg", "photo");
  clsFileOperation op;
  EXPECT_TRUE(op.Trash((root / "a.jpg").string()));
  EXPECT_FALSE(fs::exists(root / "a.jpg"));
  EXPECT_EQ(readText(root / "data/Trash/files/a.jpg"), "photo");
}

}  // namespace
}  // namespace msifter::legacy
