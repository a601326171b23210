// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of the source swapped for a link while a run or an undo works:
// between the search and a file's turn, between a copy and the removal of
// its source, between undo's checks and its acts. The link is never
// followed: the file fails (the run stops there) or is reached where it
// really is, and nothing outside the folders given changes.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/undo.h"
#include "platform/syscalls.h"
#include "scratch_mount.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

using testing::Tree;
using testing::treeOf;
using testing::writeText;

// Swaps a folder for a link at the first call of one kind after it is
// armed: the folder moves aside (its files with it), a link takes its name.
struct SwapAt : platform::Syscalls {
  enum class Call { JournalFlush, CopyNamed };
  Call at = Call::JournalFlush;
  bool armed = false;
  fs::path folder, aside, target;
  void swapNow(Call call) {
    if (!armed || call != at || folder.empty()) return;
    armed = false;
    fs::rename(folder, aside);
    fs::create_directory_symlink(target, folder);
  }
  int fdatasync(int fd) override {
    swapNow(Call::JournalFlush);
    return Syscalls::fdatasync(fd);
  }
  int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
    swapNow(Call::CopyNamed);
    return Syscalls::linkAt(fromDir, from, toDir, to, flags);
  }
};

class SwappedFolderTest : public testing::TransferTestBase {
 protected:
  testing::ScratchMount card{env.root() / "card"};

  void SetUp() override {
    TransferTestBase::SetUp();
    options.subFolder = true;
    options.renameMethod = RenameMethod::SerialNumber;
  }
  // A run as the command line makes it: the search, its journal, the
  // transfers with the search's look at each source.
  bool run(SwapAt& swap, MoveFailure& failure, std::string& id) {
    std::vector<std::string> found;
    std::vector<FoundFile> seen;
    FindRequest search = transferSearch(options, &found, nullptr);
    search.resultFiles = &seen;
    FindTotals totals;
    EXPECT_TRUE(findFiles(search, totals));
    RunJournal journal;
    EXPECT_EQ(journal.begin(options), 0);
    id = journal.id();
    bool moved = false;
    {
      platform::ScopedSyscalls seam(swap);
      swap.armed = true;
      moved = mMoveFile(found, options, MoveExtras{.observer = &journal, .sourceFiles = &seen},
                        &failure);
    }
    EXPECT_EQ(journal.finish(moved), 0);
    return moved;
  }
};

// Swapped after the search, before the file's turn: for a move within one
// file system, a copy and a move between file systems, to a folder inside
// the tree or outside it, the file whose folder it was fails and the run
// stops there; the files behind the link, and every later file, stay.
TEST_F(SwappedFolderTest, ASwapBeforeTheFilesTurnStopsTheRun) {
  struct Row {
    const char* name;
    bool copy;
    bool across;
    bool inside;  // the link leads to another folder of the tree
  };
  for (const Row& row : {Row{"move, to a folder inside", false, false, true},
                         Row{"move, to a folder outside", false, false, false},
                         Row{"copy, to a folder inside", true, false, true},
                         Row{"copy, to a folder outside", true, false, false},
                         Row{"move across, to a folder inside", false, true, true},
                         Row{"move across, to a folder outside", false, true, false}}) {
    SCOPED_TRACE(row.name);
    if (row.across && !card.mounted()) continue;  // needs root; the other rows still run
    const fs::path base = row.across ? card.path() : env.root();
    const fs::path source = base / "tree", outside = base / "outside";
    for (const fs::path& p : {source, outside, dst}) fs::remove_all(p);
    fs::create_directories(dst);
    writeText(source / "0.jpg", "first");
    writeText(source / "a/x.jpg", "a's x");
    writeText(source / "b/x.jpg", "b's x");
    writeText(outside / "x.jpg", "outside's x");
    options.serverDir = source.string();
    options.copyFiles = row.copy;
    const Tree outsideBefore = treeOf(outside);

    SwapAt swap;
    swap.folder = source / "a";
    swap.aside = source / "a-aside";
    swap.target = row.inside ? source / "b" : outside;
    MoveFailure failure;
    std::string id;
    EXPECT_FALSE(run(swap, failure, id));
    EXPECT_EQ(failure.path, (source / "a/x.jpg").string());
    EXPECT_EQ(failure.error, ELOOP);
    EXPECT_EQ(treeOf(dst), (Tree{{"0000000000_0.jpg", "first"}}));
    EXPECT_EQ(treeOf(outside), outsideBefore);
    Tree left = {{"a-aside/x.jpg", "a's x"}, {"b/x.jpg", "b's x"}};
    if (row.copy) left["0.jpg"] = "first";
    EXPECT_EQ(treeOf(source), left);
    const std::optional<RunRecord> record = readRun(id);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->entries.size(), 1u);
    EXPECT_EQ(record->summary.end, RunEnd::Failed);
  }
}

// Swapped between the copy of a move to another file system and the
// removal of its source, for a link to a folder outside that holds another
// name of the very file: the source is removed where it really is, the
// name outside stays.
TEST_F(SwappedFolderTest, ASwapBeforeTheSourceIsRemovedRemovesNothingOutside) {
  if (!card.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
  const fs::path source = card.path() / "tree", outside = card.path() / "outside";
  writeText(source / "a/x.jpg", "x");
  fs::create_directories(outside);
  fs::create_hard_link(source / "a/x.jpg", outside / "x.jpg");
  options.serverDir = source.string();
  SwapAt swap;
  swap.at = SwapAt::Call::CopyNamed;
  swap.folder = source / "a";
  swap.aside = source / "a-aside";
  swap.target = outside;
  MoveFailure failure;
  std::string id;
  EXPECT_TRUE(run(swap, failure, id));
  EXPECT_EQ(treeOf(outside), (Tree{{"x.jpg", "x"}}));
  EXPECT_EQ(treeOf(source), Tree{});
  EXPECT_EQ(treeOf(dst), (Tree{{"0000000000_x.jpg", "x"}}));
}

// Swapped between undo's checks and its acts: a folder the file goes back
// to, or one undo makes again because it was removed since the run, is a
// link by then. The file is not undone and stays at its new path; nothing
// reaches the folder behind the link.
TEST_F(SwappedFolderTest, UndoFollowsNoLinkSwappedInAfterItsChecks) {
  struct Row {
    const char* name;
    bool inside;
    bool removedSince;  // the folder is gone after the run, made again by undo
  };
  for (const Row& row :
       {Row{"to a folder inside", true, false}, Row{"to a folder outside", false, false},
        Row{"made again, to a folder outside", false, true}}) {
    SCOPED_TRACE(row.name);
    const fs::path outside = env.root() / "outside";
    for (const fs::path& p : {src, outside, dst}) fs::remove_all(p);
    fs::create_directories(dst);
    writeText(src / "a/sub/x.jpg", "a's x");
    writeText(src / "b/keep.jpg", "b's own");
    writeText(outside / "keep.jpg", "outside's own");
    options.targetList = "x.jpg";
    SwapAt quiet;
    MoveFailure failure;
    std::string id;
    ASSERT_TRUE(run(quiet, failure, id));
    ASSERT_EQ(treeOf(dst).size(), 1u);
    if (row.removedSince) fs::remove_all(src / "a");

    SwapAt swap;
    swap.folder = row.removedSince ? src / "a" : src / "a/sub";
    swap.aside = src / "aside";
    swap.target = row.inside ? src / "b" : outside;
    if (row.removedSince) fs::create_directories(swap.folder);
    const Tree outsideBefore = treeOf(outside), bBefore = treeOf(src / "b");
    UndoReport report;
    {
      platform::ScopedSyscalls seam(swap);
      swap.armed = true;
      report = undoRun({.runId = id});
    }
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].outcome, UndoOutcome::Outside);
    EXPECT_EQ(report.items[0].error, ELOOP);
    EXPECT_EQ(treeOf(dst), (Tree{{"0000000000_x.jpg", "a's x"}}));
    EXPECT_EQ(treeOf(outside), outsideBefore);
    EXPECT_EQ(treeOf(src / "b"), bBefore);
    // Said as not undone, so a later undo may try again.
    const std::optional<RunRecord> record = readRun(id);
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->entries.at(0).undone);
    EXPECT_EQ(record->summary.pendingFiles + record->summary.unclearFiles, 0);
  }
}

}  // namespace
}  // namespace msifter::engine

namespace msifter::engine {
namespace {

// Whether the folder open at `fd` is `folder`.
bool openAs(int fd, const fs::path& folder) {
  std::error_code e;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), e) == folder && !e;
}

// Swaps the backup's folder by date for a link at the `at`th time undo
// reaches for it (0: before undo starts): an open of the backup folder, a
// folder opened beneath it, a look at a path through the folder by date.
// Undo's check of a backup's path reaches for it twice (the backup folder,
// then the level beneath it); the third time is the removal's own.
struct SwapBackupLevel : platform::Syscalls {
  fs::path root, level, aside, target;
  int at = 3;
  int reached = 0;
  std::size_t folderFlushes = 0;  // of the backup folder's levels
  void reach() {
    if (++reached != at) return;
    fs::rename(level, aside);
    fs::create_directory_symlink(target, level);
  }
  int open(const char* path, int flags, mode_t mode) override {
    if (fs::path(path) == root) reach();
    return Syscalls::open(path, flags, mode);
  }
  int openAt2(int folder, const char* path, int flags, uint64_t resolve) override {
    if (openAs(folder, root) && fs::path(path).begin()->string() == level.filename()) reach();
    return Syscalls::openAt2(folder, path, flags, resolve);
  }
  int openAt(int folder, const char* path, int flags, mode_t mode) override {
    if (openAs(folder, root) && fs::path(path) == level.filename()) reach();
    return Syscalls::openAt(folder, path, flags, mode);
  }
  int lstat(const char* path, struct stat* out) override {
    if (std::string_view(path).starts_with(level.string() + "/")) reach();
    return Syscalls::lstat(path, out);
  }
  int fsync(int fd) override {
    if (openAs(fd, level) || openAs(fd, aside)) ++folderFlushes;
    return Syscalls::fsync(fd);
  }
};

// A backup's folder swapped for a link to a folder outside that holds
// another name of the very backup: undo refuses to reach through it, and
// removes nothing outside, whether the swap came before undo or between its
// check of the path and the removal. Backups it does remove are flushed
// once for their folder.
TEST_F(SwappedFolderTest, UndoRemovesABackupOnlyBeneathTheBackupFolder) {
  struct Row {
    const char* name;
    int swapAt;
  };
  const fs::path bak = env.root() / "bak", outside = env.root() / "outside";
  for (const Row& row :
       {Row{"swapped before undo", 0}, Row{"swapped after undo's check", 3}, Row{"kept", -1}}) {
    SCOPED_TRACE(row.name);
    for (const fs::path& p : {src, dst, bak, outside, env.stateHome()}) fs::remove_all(p);
    for (const fs::path& p : {dst, bak, outside}) fs::create_directories(p);
    writeText(src / "x.jpg", "x");
    writeText(src / "y.jpg", "y");
    options.copyFiles = true;
    options.backupDir = bak.string();
    options.folders = "%Y";
    SwapAt quiet;
    MoveFailure failure;
    std::string id;
    ASSERT_TRUE(run(quiet, failure, id));
    const RunRecord record = readRun(id).value();
    ASSERT_EQ(record.entries.size(), 2u);
    const fs::path backup = record.entries[0].backup.path;
    ASSERT_EQ(backup.parent_path().parent_path(), bak);
    for (const JournalEntry& e : record.entries) {
      const fs::path named = e.backup.path;
      fs::create_hard_link(named, outside / named.filename());
    }
    const Tree outsideBefore = treeOf(outside);

    SwapBackupLevel swap;
    swap.root = bak;
    swap.level = backup.parent_path();
    swap.aside = bak / "aside";
    swap.target = outside;
    swap.at = row.swapAt == 0 ? 1 : row.swapAt;
    if (row.swapAt == 0) swap.reach();
    UndoReport report;
    {
      platform::ScopedSyscalls seam(swap);
      report = undoRun({.runId = id});
    }
    // The copies in the destination go either way.
    EXPECT_EQ(report.count(UndoOutcome::Undone), 2u);
    EXPECT_EQ(treeOf(outside), outsideBefore);
    if (row.swapAt < 0) {
      EXPECT_EQ(report.backupsRemoved, 2u);
      EXPECT_EQ(swap.folderFlushes, 1u);
      EXPECT_TRUE(fs::is_empty(bak));
    } else {
      EXPECT_EQ(report.backupsRemoved, 0u);
      EXPECT_EQ(treeOf(bak / "aside").size(), 2u);
    }
  }
}

}  // namespace
}  // namespace msifter::engine
