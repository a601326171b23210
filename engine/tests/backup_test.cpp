// SPDX-License-Identifier: GPL-3.0-or-later
// A run with a backup folder killed once its files were in the destination
// and before their backups were made: the look that settles the run makes
// each backup as the run would have (recorded, its folders taken back by
// undo), or, where it cannot, history says which files have none and why.
// A copy is the run that leaves that state; a move within one file system
// makes its backups from its sources before its renames, and a copy made so
// serves only the file it was made from.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/run_words.h"
#include "engine/undo.h"
#include "files.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "scratch_mount.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

using testing::readText;
using testing::treeOf;

// The first call that would make something in the backup folder (a folder
// by date, a copy staged there) kills the process, or fails with `error`.
class BackupFolderCalls : public platform::Syscalls {
 public:
  BackupFolderCalls(fs::path folder, bool kill, int error)
      : folder_(std::move(folder)), kill_(kill), error_(error) {}

  int openAt(int d, const char* p, int f, mode_t m) override {
    const bool makes = (f & O_CREAT) != 0 || (f & O_TMPFILE) == O_TMPFILE;
    return makes && stops(d) ? -1 : Syscalls::openAt(d, p, f, m);
  }
  int mkdirAt(int d, const char* p, mode_t m) override {
    return stops(d) ? -1 : Syscalls::mkdirAt(d, p, m);
  }

 private:
  bool stops(int folderFd) {
    std::error_code e;
    const fs::path at = fs::read_symlink("/proc/self/fd/" + std::to_string(folderFd), e);
    if (e || (at != folder_ && !at.string().starts_with(folder_.string() + "/"))) return false;
    if (kill_) ::kill(::getpid(), SIGKILL);
    errno = error_;
    return true;
  }
  fs::path folder_;
  bool kill_;
  int error_;
};

class BackupTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  testing::ScratchMount card{env.root() / "card"};
  fs::path src = env.root() / "src";
  fs::path dst = env.root() / "dst";
  fs::path bak = env.root() / "bak";
  const std::map<std::string, std::string> files = {{"a.jpg", std::string(70000, 'a')},
                                                    {"b.jpg", "b"}};
  TransferOptions options;
  std::vector<std::string> sources;

  void SetUp() override {
    for (const fs::path& folder : {src, dst, bak}) fs::create_directories(folder);
    for (const auto& [name, content] : files) {
      std::ofstream(src / name, std::ios::binary) << content;
      sources.push_back((src / name).string());
    }
    options.serverDir = src.string();
    options.receiveDir = dst.string();
    options.renameMethod = RenameMethod::SerialNumber;
  }

  // The run, in a child whose calls are `calls`, killed by them.
  void runKilledBy(platform::Syscalls& calls) {
    options.backupDir = bak.string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::setSyscalls(&calls);
      RunJournal journal;
      if (journal.begin(options) == 0) journal.finish(mMoveFile(sources, options, &journal));
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  }

  // Killed as it is about to make its first backup, its files copied.
  void runKilledBeforeTheBackups() {
    BackupFolderCalls calls(bak, true, 0);
    runKilledBy(calls);
    if (HasFatalFailure()) return;
    // Killed where it was meant to be: every file in the destination, no backup.
    ASSERT_EQ(treeOf(dst).size(), files.size());
    ASSERT_TRUE(treeOf(bak).empty());
  }

  void expectSourcesBackAlone() {
    for (const auto& [name, content] : files) EXPECT_EQ(readText(src / name), content) << name;
    EXPECT_TRUE(fs::is_empty(dst));
  }
};

TEST_F(BackupTest, TheLookThatSettlesTheRunMakesTheBackupsItWasKilledBefore) {
  struct Row {
    const char* name;
    const char* folders;
  };
  options.copyFiles = true;
  for (const Row& row : {Row{"into the destination", ""}, Row{"into folders by date", "%Y"}}) {
    SCOPED_TRACE(row.name);
    options.folders = row.folders;
    runKilledBeforeTheBackups();
    if (HasFatalFailure()) return;

    const std::vector<RunSummary> runs = listRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].end, RunEnd::Interrupted);
    EXPECT_EQ(runs[0].files, 2);
    EXPECT_EQ(runs[0].unbackedFiles, 0);
    const RunRecord record = readRun(runs[0].id).value();
    ASSERT_EQ(record.entries.size(), files.size());
    for (const JournalEntry& e : record.entries) {
      const std::string name = fs::path(e.file.source).filename();
      SCOPED_TRACE(name);
      // Beneath the backup folder as the new file is beneath the destination.
      EXPECT_EQ(fs::path(e.backup.path), bak / fs::relative(e.file.destination, dst));
      EXPECT_EQ(readText(e.backup.path), files.at(name));
      EXPECT_EQ(readText(e.file.destination), files.at(name));
      struct stat st {};
      ASSERT_EQ(::lstat(e.backup.path.c_str(), &st), 0);
      EXPECT_EQ(st.st_ino, e.backup.inode);
      EXPECT_EQ(st.st_dev, e.backup.device);
      EXPECT_EQ(e.backupError, 0);
      EXPECT_TRUE(fs::exists(e.file.source));
    }
    // The folder by date it made in the backup folder is recorded.
    if (*row.folders != '\0') {
      const fs::path made = fs::path(record.entries[0].backup.path).parent_path();
      EXPECT_EQ(made.parent_path(), bak);
      EXPECT_NE(std::find(record.madeFolders.begin(), record.madeFolders.end(), made.string()),
                record.madeFolders.end());
    }
    // A second look has nothing left to do.
    EXPECT_EQ(readRun(runs[0].id).value().entries[0].backup.path, record.entries[0].backup.path);
    EXPECT_EQ(treeOf(bak).size(), files.size());

    // Undo takes back both copies, and the folders made for them.
    const UndoReport undo = undoRun({});
    EXPECT_EQ(undo.count(UndoOutcome::Undone), files.size());
    EXPECT_EQ(undo.backupsRemoved, files.size());
    expectSourcesBackAlone();
    EXPECT_TRUE(fs::is_empty(bak)) << "left in the backup folder";
    fs::remove_all(env.stateHome());
  }
}

TEST_F(BackupTest, ABackupThatCannotBeMadeIsSaidAndTheFileStaysWhereTheRunPutIt) {
  enum class Then { FolderGone, Full, ReadOnlyCard };
  struct Row {
    const char* name;
    Then then;
    int error;
  };
  for (const Row& row : {Row{"backup folder gone", Then::FolderGone, ENOENT},
                         Row{"backup folder full", Then::Full, ENOSPC},
                         Row{"read-only card", Then::ReadOnlyCard, EROFS}}) {
    SCOPED_TRACE(row.name);
    if (row.then == Then::ReadOnlyCard) {
      if (!card.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
      bak = card.path();
    }
    fs::create_directories(bak);
    options.copyFiles = true;
    runKilledBeforeTheBackups();
    if (HasFatalFailure()) return;
    BackupFolderCalls full(bak, false, ENOSPC);
    std::optional<platform::ScopedSyscalls> fullFromNowOn;
    switch (row.then) {
      case Then::FolderGone: fs::remove_all(bak); break;
      case Then::Full: fullFromNowOn.emplace(full); break;
      case Then::ReadOnlyCard:
        ASSERT_EQ(::mount("none", bak.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        break;
    }

    const std::vector<RunSummary> runs = listRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runEndWord(runs[0]), "中断");
    EXPECT_EQ(runs[0].files, 2);
    EXPECT_EQ(runs[0].unbackedFiles, 2);
    EXPECT_NE(runNotes(runs[0]).find("2 ファイルはバックアップがありません"), std::string::npos)
        << runNotes(runs[0]);
    fullFromNowOn.reset();
    if (row.then == Then::ReadOnlyCard) {
      ASSERT_EQ(::mount("none", bak.c_str(), nullptr, MS_REMOUNT, nullptr), 0);
    }
    fs::create_directories(bak);

    // Said once: with the backup folder writable again, a later look leaves
    // the journal as it was.
    const RunRecord record = readRun(runs[0].id).value();
    ASSERT_EQ(record.entries.size(), files.size());
    for (const JournalEntry& e : record.entries) {
      EXPECT_EQ(e.backup.path, "");
      EXPECT_EQ(e.backupError, row.error);
      EXPECT_EQ(readText(e.file.destination), files.at(fs::path(e.file.source).filename()));
    }
    EXPECT_TRUE(treeOf(bak).empty());

    const UndoReport undo = undoRun({});
    EXPECT_EQ(undo.count(UndoOutcome::Undone), files.size());
    expectSourcesBackAlone();
    fs::remove_all(env.stateHome());
  }
}

// A move within one file system: a source's name goes as its new name
// comes, so its backup is copied from the source before. Killed before the
// first backup, no file has moved; killed at the first rename, every file
// of the group has its backup already. Either way the look that settles
// the run finds every file at its source and takes the run's backups away.
TEST_F(BackupTest, AMoveWithinOneFileSystemTakesNoSourceAwayBeforeItsBackup) {
  // Kills the process at its first rename into the destination.
  struct KillAtRename : platform::Syscalls {
    fs::path destination;
    int renameAt(int from, const char* f, int to, const char* t, unsigned flags) override {
      std::error_code e;
      if (fs::read_symlink("/proc/self/fd/" + std::to_string(to), e) == destination)
        ::kill(::getpid(), SIGKILL);
      return Syscalls::renameAt(from, f, to, t, flags);
    }
  };
  for (const bool atRename : {false, true}) {
    SCOPED_TRACE(atRename ? "killed at the first rename" : "killed before the first backup");
    BackupFolderCalls beforeBackup(bak, true, 0);
    KillAtRename rename;
    rename.destination = dst;
    runKilledBy(atRename ? static_cast<platform::Syscalls&>(rename) : beforeBackup);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(fs::is_empty(dst));
    for (const auto& [name, content] : files) EXPECT_EQ(readText(src / name), content) << name;
    if (atRename) {
      std::map<std::string, std::string> whole;
      for (const auto& [path, content] : treeOf(bak)) whole[path.substr(11)] = content;
      EXPECT_EQ(whole, files);
    }

    const std::vector<RunSummary> runs = listRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].files, 0);
    EXPECT_EQ(runs[0].unclearFiles + runs[0].pendingFiles, 0);
    EXPECT_TRUE(treeOf(bak).empty());
    fs::remove_all(env.stateHome());
    for (const auto& e : fs::directory_iterator(bak)) fs::remove_all(e.path());
  }
}

// A backup copied from its source ahead of the rename serves only the file
// it was copied from under the name it was copied to: when another name is
// taken at the rename, or the source is rewritten before it, the copy goes
// and the backup is made from the new file, so that the backup folder holds
// what the destination holds, nothing more.
TEST_F(BackupTest, ACopyMadeAheadServesOnlyTheFileItWasMadeFrom) {
  // Does `act` with the name asked for, at the first rename into the destination.
  struct AtFirstRename : platform::Syscalls {
    fs::path destination;
    std::function<void(const std::string&)> act;
    int renameAt(int from, const char* f, int to, const char* t, unsigned flags) override {
      std::error_code e;
      if (act && fs::read_symlink("/proc/self/fd/" + std::to_string(to), e) == destination) {
        act(t);
        act = nullptr;
      }
      return Syscalls::renameAt(from, f, to, t, flags);
    }
  };
  struct Row {
    const char* name;
    bool nameTaken;  // else the source is rewritten
  };
  options.backupDir = bak.string();
  for (const Row& row : {Row{"the planned name taken", true}, Row{"the source rewritten", false}}) {
    SCOPED_TRACE(row.name);
    AtFirstRename calls;
    calls.destination = dst;
    calls.act = [&](const std::string& name) {
      if (row.nameTaken) {
        std::ofstream(dst / name) << "the user's";
      } else {
        std::ofstream(src / "a.jpg", std::ios::app) << " and more";
      }
    };
    std::string id;
    {
      platform::ScopedSyscalls seam(calls);
      RunJournal journal;
      ASSERT_EQ(journal.begin(options), 0);
      EXPECT_TRUE(mMoveFile(sources, options, &journal));
      EXPECT_EQ(journal.finish(true), 0);
      id = journal.id();
    }
    const RunRecord record = readRun(id).value();
    ASSERT_EQ(record.entries.size(), files.size());
    std::map<std::string, std::string> expected;
    for (const JournalEntry& e : record.entries) {
      const std::string name = fs::path(e.file.destination).filename();
      EXPECT_EQ(fs::path(e.backup.path), bak / name);
      expected[name] = readText(e.file.destination);
    }
    EXPECT_EQ(treeOf(bak), expected);
    if (!row.nameTaken) {
      EXPECT_EQ(expected["0000000000_a.jpg"], files.at("a.jpg") + " and more");
    }

    const UndoReport undo = undoRun({});
    EXPECT_EQ(undo.backupsRemoved, files.size());
    EXPECT_TRUE(treeOf(bak).empty());
    for (const auto& e : fs::directory_iterator(dst)) fs::remove(e.path());
    std::ofstream(src / "a.jpg", std::ios::binary | std::ios::trunc) << files.at("a.jpg");
    fs::remove_all(env.stateHome());
  }
}

// The words history shows beside a file without its backup, and the code
// --json gives with them.
TEST(MissingBackupWords, SayWhyEachBackupIsMissing) {
  struct Row {
    int error;
    const char* code;
    const char* text;
  };
  const Row rows[] = {
      {0, "backup-not-made", "バックアップなし（まだ作っていません）"},
      {ENOENT, "backup-folder-missing",
       "バックアップなし（バックアップ先のフォルダが見つかりません）"},
      {ENOSPC, "backup-full", "バックアップなし（バックアップ先の空き容量が足りません）"},
      {EROFS, "backup-read-only", "バックアップなし（バックアップ先が読み取り専用です）"},
      {EEXIST, "backup-name-taken",
       "バックアップなし（バックアップ先の同じ名前に別のファイルがあります）"},
      {ESTALE, "new-file-changed",
       "バックアップなし（移動先のファイルが実行の後で変わっています）"},
      {EIO, "backup-failed", "バックアップなし（入出力エラーです）"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(missingBackupCode(row.error), row.code) << row.error;
    EXPECT_EQ(missingBackupText(row.error), row.text) << row.error;
  }
}

}  // namespace
}  // namespace msifter::engine
