// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/undo.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "engine/journal.h"
#include "engine/mover.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "scratch_mount.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

using testing::Tree;
using testing::treeOf;

std::vector<UndoOutcome> outcomes(const UndoReport& report) {
  std::vector<UndoOutcome> out;
  for (const UndoItem& item : report.items) out.push_back(item.outcome);
  return out;
}

class UndoTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  fs::path dst = env.root() / "dst";
  TransferOptions options;

  void SetUp() override {
    fs::create_directories(dst);
    options.receiveDir = dst.string();
    options.renameMethod = RenameMethod::SerialNumber;
  }
  // The files of the next run, in `src`.
  std::vector<std::string> put(const fs::path& src, const Tree& files) {
    options.serverDir = src.string();
    std::vector<std::string> sources;
    for (const auto& [name, bytes] : files) {
      sources.push_back(testing::writeText(src / name, bytes).string());
    }
    return sources;
  }
  std::string run(const std::vector<std::string>& sources) {
    RunJournal journal;
    EXPECT_EQ(journal.begin(options), 0);
    EXPECT_TRUE(mMoveFile(sources, options, &journal));
    EXPECT_EQ(journal.finish(true), 0);
    return journal.id();
  }
};

struct Trip {
  const char* name;
  bool copy;
  bool across;
};

class UndoTripTest : public UndoTest, public ::testing::WithParamInterface<Trip> {};

TEST_P(UndoTripTest, RunThenUndoRestoresEveryPathAndByte) {
  testing::ScratchMount mount{env.root() / "card"};
  if (GetParam().across && !mount.mounted()) GTEST_SKIP() << "cannot mount a memory file system";
  const fs::path src = GetParam().across ? mount.path() / "src" : env.root() / "src";
  const Tree original = {
      {"a.jpg", std::string(70000, 'a')}, {"sub/deeper/写真 %1\t.JPG", "b"}, {"sub/\xff.png", ""}};
  options.copyFiles = GetParam().copy;
  const std::string id = run(put(src, original));
  // Folders that the run left empty may be gone by the undo.
  if (!options.copyFiles) fs::remove_all(src / "sub");

  const Tree afterRun = treeOf(src), made = treeOf(dst);
  ASSERT_EQ(made.size(), 3u);
  const UndoReport dry = undoRun({.runId = "", .dryRun = true});
  EXPECT_EQ(outcomes(dry), std::vector<UndoOutcome>(3, UndoOutcome::WouldUndo));
  EXPECT_EQ(treeOf(src), afterRun);
  EXPECT_EQ(treeOf(dst), made);

  const UndoReport undo = undoRun({.runId = id});
  EXPECT_EQ(undo.status, UndoStatus::Done);
  EXPECT_EQ(undo.run.id, id);
  EXPECT_EQ(outcomes(undo), std::vector<UndoOutcome>(3, UndoOutcome::Undone));
  EXPECT_EQ(treeOf(src), original);
  EXPECT_TRUE(fs::is_empty(dst));
  // Last file of the run first.
  EXPECT_EQ(undo.items.front().entry.number, 2);

  const UndoReport again = undoRun({});
  EXPECT_EQ(outcomes(again), std::vector<UndoOutcome>(3, UndoOutcome::AlreadyUndone));
  EXPECT_EQ(treeOf(src), original);
  ASSERT_EQ(listRuns().size(), 1u);
  EXPECT_EQ(listRuns()[0].undoState(), UndoState::Undone);
}

INSTANTIATE_TEST_SUITE_P(Runs, UndoTripTest,
                         ::testing::Values(Trip{"Move", false, false}, Trip{"Copy", true, false},
                                           Trip{"MoveAcross", false, true},
                                           Trip{"CopyAcross", true, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(UndoTest, WhatCannotBeUndoneIsLeftAloneAndTheRestIsUndone) {
  const fs::path src = env.root() / "src";
  const std::string id =
      run(put(src, {{"a", "a"}, {"b", "b"}, {"c", "c"}, {"d", "d"}, {"e", "e"}}));
  std::ofstream(src / "a") << "taken meanwhile";
  std::ofstream(dst / "0000000001_b", std::ios::app) << " edited";
  fs::remove(dst / "0000000002_c");
  // Another file of the same size and time in its place.
  const fs::path e = dst / "0000000004_e";
  std::ofstream(env.root() / "e2") << "E";
  fs::last_write_time(env.root() / "e2", fs::last_write_time(e));
  fs::rename(env.root() / "e2", e);

  const UndoReport first = undoRun({.runId = id});
  using O = UndoOutcome;
  EXPECT_EQ(outcomes(first),
            (std::vector<O>{O::Changed, O::Undone, O::Missing, O::Changed, O::NameTaken}));
  EXPECT_EQ(treeOf(src), (Tree{{"a", "taken meanwhile"}, {"d", "d"}}));
  EXPECT_EQ(treeOf(dst),
            (Tree{{"0000000000_a", "a"}, {"0000000001_b", "b edited"}, {"0000000004_e", "E"}}));
  EXPECT_EQ(listRuns()[0].undoState(), UndoState::PartlyUndone);

  // Once the name is free again, a second undo does the rest.
  fs::rename(src / "a", env.root() / "a-elsewhere");
  const UndoReport second = undoRun({.runId = id});
  EXPECT_EQ(outcomes(second),
            (std::vector<O>{O::Changed, O::AlreadyUndone, O::Missing, O::Changed, O::Undone}));
  EXPECT_EQ(treeOf(src), (Tree{{"a", "a"}, {"d", "d"}}));

  // Nothing is made in place of a source folder that is gone as a whole.
  const std::string gone = run(put(env.root() / "card", {{"f", "f"}}));
  fs::remove_all(env.root() / "card");
  EXPECT_EQ(outcomes(undoRun({.runId = gone})), std::vector<O>{O::FolderMissing});
  EXPECT_FALSE(fs::exists(env.root() / "card"));

  // A copy whose original is gone is the only one left.
  options.copyFiles = true;
  const std::string copyRun = run(put(src, {{"e", "e"}}));
  fs::remove(src / "e");
  const UndoReport copy = undoRun({.runId = copyRun});
  EXPECT_EQ(outcomes(copy), std::vector<O>{O::OriginalMissing});
  EXPECT_TRUE(fs::exists(copy.items.at(0).entry.file.destination));

  // Nor is a copy taken away when the original's name now leads to the copy
  // itself, or when the copy was edited keeping its size and time.
  const std::vector<std::string> originals = put(src, {{"g", "gg"}, {"h", "hh"}});
  const std::string twoCopies = run(originals);
  const std::vector<JournalEntry> made = readRun(twoCopies).value().entries;
  fs::remove(originals[0]);
  fs::create_symlink(made.at(0).file.destination, originals[0]);
  const fs::path edited = made.at(1).file.destination;
  const auto time = fs::last_write_time(edited);
  std::ofstream(edited, std::ios::binary) << "HH";
  fs::last_write_time(edited, time);
  EXPECT_EQ(outcomes(undoRun({.runId = twoCopies})),
            (std::vector<O>{O::Changed, O::OriginalMissing}));
  EXPECT_TRUE(fs::exists(made.at(0).file.destination) && fs::exists(edited));
}

// Without a run named, undo takes the newest run with files left to take
// back: a later run that transferred nothing is passed over.
TEST_F(UndoTest, TheDefaultRunIsTheNewestWithFilesLeftToUndo) {
  const std::string first = run(put(env.root() / "src", {{"a.jpg", "a"}}));
  RunJournal empty;
  ASSERT_EQ(empty.begin(options), 0);
  ASSERT_EQ(empty.finish(true), 0);
  ASSERT_EQ(listRuns().size(), 2u);
  EXPECT_EQ(undoRun({.runId = "", .dryRun = true}).run.id, first);
  EXPECT_EQ(outcomes(undoRun({})), std::vector<UndoOutcome>{UndoOutcome::Undone});
  // Nothing left to take back anywhere: the newest run, with nothing to do.
  EXPECT_EQ(undoRun({}).run.id, listRuns().back().id);
}

TEST_F(UndoTest, ARunStillBeingWrittenIsNotUndone) {
  const fs::path src = env.root() / "src";
  const std::vector<std::string> sources = put(src, {{"a", "a"}});
  RunJournal journal;
  ASSERT_EQ(journal.begin(options), 0);
  ASSERT_TRUE(mMoveFile(sources, options, &journal));
  ASSERT_EQ(listRuns().size(), 1u);
  EXPECT_TRUE(listRuns()[0].inUse);
  EXPECT_EQ(undoRun({}).status, UndoStatus::InUse);
  journal.finish(true);
  EXPECT_EQ(undoRun({.runId = "no-such-run"}).status, UndoStatus::NoSuchRun);
  EXPECT_EQ(outcomes(undoRun({})), std::vector<UndoOutcome>{UndoOutcome::Undone});

  // A journal that failed mid-run (its disk full) stopped its run, and still
  // marks it as going on until it ends.
  struct FullAfterHeader : platform::Syscalls {
    int left = 1;
    ssize_t pwrite(int fd, const void* b, size_t n, off_t at) override {
      if (left-- > 0) return Syscalls::pwrite(fd, b, n, at);
      errno = ENOSPC;
      return -1;
    }
  } full;
  RunJournal givenUp;
  {
    platform::ScopedSyscalls scoped(full);
    ASSERT_EQ(givenUp.begin(options), 0);
    ASSERT_FALSE(mMoveFile(put(src, {{"b", "b"}}), options, &givenUp));
  }
  EXPECT_TRUE(fs::exists(src / "b"));
  EXPECT_EQ(undoRun({.runId = givenUp.id()}).status, UndoStatus::InUse);
  givenUp.finish(true);
  EXPECT_EQ(undoRun({.runId = givenUp.id()}).status, UndoStatus::Done);
}

// Kills the process before the chosen call of one kind.
class KillAt : public platform::Syscalls {
 public:
  KillAt(bool atFlush, int at) : atFlush_(atFlush), at_(at) {}
  int syncfs(int fd) override {
    if (atFlush_) step();
    return Syscalls::syncfs(fd);
  }
  int fsync(int fd) override {
    if (atFlush_) step();
    return Syscalls::fsync(fd);
  }
  int renameAt(int fd, const char* f, int td, const char* t, unsigned fl) override {
    if (!atFlush_) step();
    return Syscalls::renameAt(fd, f, td, t, fl);
  }

 private:
  void step() {
    if (++calls_ == at_) ::kill(::getpid(), SIGKILL);
  }
  bool atFlush_;
  int at_;
  int calls_ = 0;
};

// The journal holds every file's intent before the file is touched: after
// a kill, the next look at it finds each file where it is, records what
// was moved, and undo takes back exactly that.
TEST_F(UndoTest, AKilledRunStillListsAndUndoesWhatItRecords) {
  struct Row {
    const char* name;
    bool atFlush;
    int at;
    int64_t recorded;
  };
  for (const Row row : {Row{"all four moved, their renames not flushed yet", true, 1, 4},
                        Row{"third file not moved", false, 3, 2}}) {
    SCOPED_TRACE(row.name);
    fs::remove_all(env.stateHome());
    fs::remove_all(env.root() / "src");
    for (const auto& e : fs::directory_iterator(dst)) fs::remove_all(e.path());
    const fs::path src = env.root() / "src";
    const Tree original = {{"1", "one"}, {"2", "two"}, {"3", "three"}, {"4", "four"}};
    const std::vector<std::string> sources = put(src, original);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RunJournal journal;
      journal.begin(options);
      KillAt calls(row.atFlush, row.at);
      platform::setSyscalls(&calls);
      ::_exit(mMoveFile(sources, options, &journal) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::vector<RunSummary> runs = listRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].end, RunEnd::Interrupted);
    EXPECT_FALSE(runs[0].inUse);
    EXPECT_EQ(runs[0].files, row.recorded);
    EXPECT_EQ(static_cast<int64_t>(treeOf(dst).size()), row.recorded);
    const UndoReport undo = undoRun({});
    EXPECT_EQ(undo.count(UndoOutcome::Undone), static_cast<std::size_t>(row.recorded));
    // Every file whole, once, back at its source.
    EXPECT_EQ(treeOf(src), original);
    EXPECT_TRUE(treeOf(dst).empty());
  }
}

// Replaces the path `from` wherever the journal of run `id` names it (its
// intent and its file line), as a hand with an editor would.
void editJournal(const std::string& id, const std::string& from, const std::string& to) {
  const std::string path = readRun(id).value().summary.path;
  std::string text = testing::readText(path);
  const std::string field = "\t" + from + "\t";
  auto at = text.find(field);
  ASSERT_NE(at, std::string::npos) << from;
  for (; at != std::string::npos; at = text.find(field, at + to.size() + 1))
    text.replace(at + 1, from.size(), to);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST_F(UndoTest, AJournalThatLeadsOutsideTheRunTouchesNothingThere) {
  enum class Edit {
    SourceThroughParent,
    SourceElsewhere,
    LinkForTheSourceFolder,
    NewPathThroughParent
  };
  struct Row {
    const char* name;
    Edit edit;
    bool copy;
  };
  const Row rows[] = {
      {"source through ..", Edit::SourceThroughParent, false},
      {"source elsewhere", Edit::SourceElsewhere, false},
      {"the source's folder now a link", Edit::LinkForTheSourceFolder, false},
      {"new path through .., moved", Edit::NewPathThroughParent, false},
      {"new path through .., copied", Edit::NewPathThroughParent, true},
  };
  const fs::path src = env.root() / "src", outside = env.root() / "outside";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const fs::path& p : {src, outside, env.stateHome()}) fs::remove_all(p);
    for (const auto& e : fs::directory_iterator(dst)) fs::remove_all(e.path());
    fs::create_directories(outside);
    std::ofstream(outside / "keep") << "kept";
    options.copyFiles = row.copy;
    const std::vector<std::string> sources = put(src, {{"sub/a", "a"}});
    const std::string id = run(sources);
    const std::string made = readRun(id).value().entries.at(0).file.destination;
    switch (row.edit) {
      case Edit::SourceThroughParent:
        editJournal(id, sources[0], src.string() + "/../outside/a");
        break;
      case Edit::SourceElsewhere: editJournal(id, sources[0], (outside / "a").string()); break;
      case Edit::LinkForTheSourceFolder:
        fs::remove_all(src / "sub");
        fs::create_directory_symlink(outside, src / "sub");
        break;
      case Edit::NewPathThroughParent:
        // The same file by another name: size, time and identity as recorded.
        fs::create_hard_link(made, outside / "twin");
        editJournal(id, made, dst.string() + "/../outside/twin");
        break;
    }
    const Tree before = treeOf(outside);
    EXPECT_EQ(outcomes(undoRun({.runId = id})), std::vector<UndoOutcome>{UndoOutcome::Outside});
    EXPECT_EQ(treeOf(outside), before);
    EXPECT_TRUE(fs::exists(made));
  }
}

}  // namespace
}  // namespace msifter::engine
