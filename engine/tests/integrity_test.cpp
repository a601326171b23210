// SPDX-License-Identifier: GPL-3.0-or-later
// What a run may touch and what it says about it: it ends at the first file
// it cannot transfer and leaves every later file where it was; two names of
// one file stay one file; no two runs work on one source at a time.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "common/msg.h"
#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/undo.h"
#include "every_file_run.h"
#include "platform/syscalls.h"
#include "scratch_mount.h"
#include "sqlite_files.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

using testing::Tree;
using testing::treeOf;

ino_t inodeOf(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class IntegrityTest : public testing::TransferTestBase {
 protected:
  testing::ScratchMount card{env.root() / "card"};

  void SetUp() override {
    TransferTestBase::SetUp();
    if (!card.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
    options.serverDir = src.string();
    options.renameMethod = RenameMethod::SerialNumber;
  }
  static std::string put(const fs::path& path, const std::string& bytes) {
    return testing::writeText(path, bytes).string();
  }
  // A run as the window and the command line make it: journal, transfers,
  // the journal's end.
  bool run(const std::vector<std::string>& sources, RunJournal& journal, MoveFailure* failure) {
    EXPECT_EQ(journal.begin(options), 0);
    const bool moved = mMoveFile(sources, options, MoveExtras{.observer = &journal}, failure);
    EXPECT_EQ(journal.finish(moved), 0);
    return moved;
  }
};

// Unlinking one source fails, though its folder could be written to.
struct StuckSource : platform::Syscalls {
  std::string stuck;
  int unlink(const char* path) override {
    if (path == stuck) {
      errno = EBUSY;
      return -1;
    }
    return Syscalls::unlink(path);
  }
};

// The run ends at the first file it cannot transfer. Every file after it
// stays where it was, also files later in the same batch that were already
// renamed or copied; the journal and the run's counts say so.
TEST_F(IntegrityTest, StopMeansStop) {
  // A locked card: a folder of the search that is a read-only mount.
  testing::ScratchMount locked(src / "locked");
  ASSERT_TRUE(locked.mounted());
  put(src / "locked/c.jpg", "c"), put(src / "locked/d.jpg", "d");
  ASSERT_EQ(::mount(nullptr, locked.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  const std::vector<std::string> lockedTree = {
      put(src / "a.jpg", "a"), put(src / "b.jpg", "b"), (src / "locked/c.jpg").string(),
      (src / "locked/d.jpg").string(), put(src / "z_last/e.jpg", "e")};
  StuckSource stuck;
  stuck.stuck = (card.path() / "x1.jpg").string();
  struct Row {
    const char* name;
    std::vector<std::string> sources;
    platform::Syscalls* calls;
    std::size_t moved;
    std::string stoppedAt;
  };
  const Row rows[] = {{"a read-only source folder", lockedTree, nullptr, 2, lockedTree[2]},
                      {"a source that cannot be removed once copied",
                       {put(card.path() / "x1.jpg", "x1"), put(src / "y.jpg", "y"),
                        put(card.path() / "x2.jpg", "x2"), put(src / "z.jpg", "z")},
                       &stuck,
                       0,
                       stuck.stuck}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Tree before = treeOf(src), beforeOnCard = treeOf(card.path());
    RunJournal journal;
    MoveFailure failure;
    {
      std::optional<platform::ScopedSyscalls> scoped;
      if (row.calls != nullptr) scoped.emplace(*row.calls);
      EXPECT_FALSE(run(row.sources, journal, &failure));
    }
    EXPECT_EQ(failure.path, row.stoppedAt);
    EXPECT_EQ(static_cast<std::size_t>(journal.files()), row.moved);
    EXPECT_EQ(journal.left().untouched, static_cast<int64_t>(row.sources.size() - row.moved));
    EXPECT_EQ(journal.left().unclear + journal.left().pending, 0);
    // The first files moved, the rest where they were, nothing twice.
    Tree left = before;
    for (std::size_t i = 0; i < row.moved; ++i)
      left.erase(fs::relative(row.sources[i], src).string());
    EXPECT_EQ(treeOf(src), left);
    EXPECT_EQ(treeOf(card.path()), beforeOnCard);
    EXPECT_EQ(treeOf(dst).size(), row.moved);
    const std::optional<RunRecord> record = readRun(journal.id());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->entries.size(), row.moved);
    EXPECT_EQ(record->left.size(), row.sources.size() - row.moved);
    EXPECT_EQ(record->summary.end, RunEnd::Failed);
    // Back to where the row began.
    EXPECT_EQ(undoRun({.runId = journal.id()}).count(UndoOutcome::Undone), row.moved);
    EXPECT_EQ(treeOf(src), before);
  }
}

// Two names of one file moved to another file system arrive as two names of
// one file, as mv moves them; undo puts both names back. Where the
// destination has no hard links, each name gets a copy of its own.
TEST_F(IntegrityTest, HardLinksMoveBetweenFileSystemsAsMvMovesThem) {
  struct NoHardLinks : platform::Syscalls {
    int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
      // Naming an unnamed copy through /proc stays possible.
      if (fromDir != AT_FDCWD && flags == 0) {
        errno = EPERM;
        return -1;
      }
      return Syscalls::linkAt(fromDir, from, toDir, to, flags);
    }
  } noHardLinks;
  for (const bool linksAllowed : {true, false}) {
    SCOPED_TRACE(linksAllowed ? "hard links" : "no hard links");
    const fs::path photo = card.path() / "DCIM/p.jpg", twin = card.path() / "DCIM/q.jpg";
    put(photo, "one photo, two names");
    fs::create_hard_link(photo, twin);
    put(card.path() / "DCIM/r.jpg", "another");
    options.serverDir = card.path().string();
    const Tree before = treeOf(card.path());
    RunJournal journal;
    {
      std::optional<platform::ScopedSyscalls> scoped;
      if (!linksAllowed) scoped.emplace(noHardLinks);
      EXPECT_TRUE(run({photo.string(), (card.path() / "DCIM/r.jpg").string(), twin.string()},
                      journal, nullptr));
    }
    EXPECT_TRUE(treeOf(card.path()).empty());
    const fs::path p = dst / "0000000000_p.jpg", q = dst / "0000000002_q.jpg";
    EXPECT_EQ(treeOf(dst), (Tree{{p.filename(), "one photo, two names"},
                                 {"0000000001_r.jpg", "another"},
                                 {q.filename(), "one photo, two names"}}));
    EXPECT_EQ(inodeOf(p) == inodeOf(q), linksAllowed);

    EXPECT_EQ(undoRun({}).count(UndoOutcome::Undone), 3u);
    EXPECT_EQ(treeOf(card.path()), before);
    EXPECT_TRUE(treeOf(dst).empty());
    EXPECT_EQ(inodeOf(photo) == inodeOf(twin), linksAllowed);
    fs::remove_all(card.path() / "DCIM");
  }
}

// A run does not start while another run works on its source folder, or on
// a folder inside or around it, however the folder is named; it does once
// that run has ended. A run elsewhere is no obstacle.
TEST_F(IntegrityTest, OneRunPerSourceAtATime) {
  fs::create_directories(src / "DCIM/100");
  fs::create_directories(env.root() / "elsewhere");
  fs::create_directory_symlink(src, env.root() / "link-to-src");
  RunJournal running;
  ASSERT_EQ(running.begin(options), 0);
  struct Row {
    const char* name;
    fs::path source;
    int result;
  };
  for (const Row& row : {Row{"the same folder", src, EBUSY},
                         Row{"the same folder through a link", env.root() / "link-to-src", EBUSY},
                         Row{"a folder inside it", src / "DCIM/100", EBUSY},
                         Row{"a folder around it", env.root(), EBUSY},
                         Row{"another folder", env.root() / "elsewhere", 0}}) {
    SCOPED_TRACE(row.name);
    TransferOptions other = options;
    other.serverDir = row.source.string();
    RunJournal second;
    EXPECT_EQ(second.begin(other), row.result);
    if (row.result == EBUSY) {
      EXPECT_EQ(second.busyWith().id, running.id());
      EXPECT_TRUE(second.id().empty());
    }
    EXPECT_EQ(second.finish(true), 0);
  }
  // The window's run says so in the catalogue's words, and does not start.
  ASSERT_TRUE(testing::writeCatalogue(env.root() / "msg",
                                      "CREATE TABLE t_MSG (CODE INTEGER, MSG TEXT, DLGFLG "
                                      "INTEGER); INSERT INTO t_MSG VALUES (61, '#61', 48);"));
  ASSERT_TRUE(common::gMsgInit((env.root() / "msg").string(), common::kMsgPassword));
  put(src / "DCIM/100/a.jpg", "a");
  testing::QuietRun quiet;
  RunResult result;
  EXPECT_FALSE(
      gProcess1(testing::everyFile((src / "DCIM").string(), options.receiveDir), quiet, result));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "移動元のフォルダ（" + (src / "DCIM").string() + "）#61");
  EXPECT_TRUE(fs::exists(src / "DCIM/100/a.jpg"));
  EXPECT_EQ(running.finish(true), 0);
  RunJournal after;
  EXPECT_EQ(after.begin(options), 0);
  EXPECT_EQ(after.finish(true), 0);
}

}  // namespace
}  // namespace msifter::engine
