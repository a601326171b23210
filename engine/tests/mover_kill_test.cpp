// SPDX-License-Identifier: GPL-3.0-or-later
// A run killed (SIGKILL) at each system call it makes, one child process per
// kill. Whatever the moment, every file afterwards exists whole: at its
// source or under a final name, never partial under any name. With its
// journal, the next look at the journal finds every file in one place and
// says which; a look or an undo killed likewise leaves the same truth for
// the look after it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/undo.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "scratch_mount.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::readText;

// Kills the process before the chosen call of those that change what is on
// disk (a look or a read leaves nothing new behind); optionally on a file
// system without unnamed files.
class KillAt : public platform::Syscalls {
 public:
  KillAt(long at, bool unnamedFiles) : at_(at), unnamedFiles_(unnamedFiles) {}

  ssize_t write(int fd, const void* b, size_t n) override {
    return step(), Syscalls::write(fd, b, n);
  }
  ssize_t copyFileRange(int in, int out, size_t n) override {
    return step(), Syscalls::copyFileRange(in, out, n);
  }
  int cloneFile(int out, int in) override { return step(), Syscalls::cloneFile(out, in); }
  int ftruncate(int fd, off_t n) override { return step(), Syscalls::ftruncate(fd, n); }
  int fchmod(int fd, mode_t m) override { return step(), Syscalls::fchmod(fd, m); }
  int fchown(int fd, uid_t u, gid_t g) override { return step(), Syscalls::fchown(fd, u, g); }
  int futimens(int fd, const struct timespec t[2]) override {
    return step(), Syscalls::futimens(fd, t);
  }
  int fsetxattr(int fd, const char* n, const void* v, size_t s, int f) override {
    return step(), Syscalls::fsetxattr(fd, n, v, s, f);
  }
  int syncfs(int fd) override { return step(), Syscalls::syncfs(fd); }
  int fsync(int fd) override { return step(), Syscalls::fsync(fd); }
  int fdatasync(int fd) override { return step(), Syscalls::fdatasync(fd); }
  ssize_t pwrite(int fd, const void* b, size_t n, off_t at) override {
    return step(), Syscalls::pwrite(fd, b, n, at);
  }
  int fallocate(int fd, off_t at, off_t n) override {
    return step(), Syscalls::fallocate(fd, at, n);
  }
  int mkdir(const char* p, mode_t m) override { return step(), Syscalls::mkdir(p, m); }
  int mkdirAt(int d, const char* p, mode_t m) override {
    return step(), Syscalls::mkdirAt(d, p, m);
  }
  int unlink(const char* p) override { return step(), Syscalls::unlink(p); }
  int unlinkAt(int d, const char* p, int f) override { return step(), Syscalls::unlinkAt(d, p, f); }
  int renameAt(int fd, const char* f, int td, const char* t, unsigned fl) override {
    return step(), Syscalls::renameAt(fd, f, td, t, fl);
  }
  int linkAt(int fd, const char* f, int td, const char* t, int fl) override {
    return step(), Syscalls::linkAt(fd, f, td, t, fl);
  }
  int openAt(int d, const char* p, int f, mode_t m) override {
    step();
    if (!unnamedFiles_ && (f & O_TMPFILE) == O_TMPFILE) {
      errno = EOPNOTSUPP;
      return -1;
    }
    return Syscalls::openAt(d, p, f, m);
  }

 private:
  void step() {
    if (++calls_ == at_) ::kill(::getpid(), SIGKILL);
  }
  long at_;
  long calls_ = 0;
  bool unnamedFiles_;
};

struct Scenario {
  const char* name;
  bool copy;
  bool across;
  bool unnamedFiles;
  bool backup = false;  // every file also into a backup folder
};

// The runs that both the run's kills and the journal's are made on.
constexpr Scenario kCopyUnnamed{
    .name = "CopyUnnamed", .copy = true, .across = false, .unnamedFiles = true};
constexpr Scenario kMove{.name = "Move", .copy = false, .across = false, .unnamedFiles = true};
constexpr Scenario kMoveAcrossUnnamed{
    .name = "MoveAcrossUnnamed", .copy = false, .across = true, .unnamedFiles = true};
constexpr Scenario kMoveAcrossNamedTemporary{
    .name = "MoveAcrossNamedTemporary", .copy = false, .across = true, .unnamedFiles = false};

std::string scenarioName(const ::testing::TestParamInfo<Scenario>& row) { return row.param.name; }

class MoverKillTest : public ::testing::TestWithParam<Scenario> {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  testing::ScratchMount mount{env.root() / "remote"};
  fs::path src = GetParam().across ? mount.path() : env.root() / "src";
  fs::path dst = env.root() / "dst";
  const std::map<std::string, std::string> files = {
      {"a.jpg", std::string(5000, 'a')}, {"b.jpg", std::string(300000, 'b')}, {"c.jpg", "c"}};

  // Every file whole at its source or under one final name ("0000000000_"
  // and its name); both only for a move between file systems killed after
  // its copy was on disk. True when named temporaries were left: no final
  // names, and a later run (long after) removes them.
  bool checkNothingPartial() {
    const Scenario& s = GetParam();
    std::map<std::string, int> placed;
    bool temporaries = false;
    for (const auto& e : fs::directory_iterator(dst)) {
      const std::string name = e.path().filename().string();
      if (platform::isTransferTemporary(name)) {
        temporaries = true;
      } else if (name.size() <= 11 || files.count(name.substr(11)) == 0) {
        ADD_FAILURE() << "unexpected name " << name;
      } else {
        EXPECT_EQ(readText(e.path()), files.at(name.substr(11))) << name;
        ++placed[name.substr(11)];
      }
    }
    for (const auto& [name, content] : files) {
      const bool atSource = fs::exists(src / name);
      EXPECT_EQ(atSource ? readText(src / name) : content, content) << name;
      EXPECT_LE(placed[name], 1) << name;
      const int wholeCopies = atSource + placed[name];
      EXPECT_TRUE(s.copy ? atSource : s.across ? wholeCopies >= 1 : wholeCopies == 1) << name;
    }
    EXPECT_TRUE(!temporaries || !s.unnamedFiles);
    if (temporaries) {
      struct MuchLater : platform::Syscalls {
        std::time_t now() override { return Syscalls::now() + 3600; }
      } later;
      platform::ScopedSyscalls scoped(later);
      platform::DestinationFolder folder;
      EXPECT_EQ(folder.open(dst.string()).code(), 0);
      for (const auto& e : fs::directory_iterator(dst))
        EXPECT_FALSE(platform::isTransferTemporary(e.path().filename().string()));
    }
    return temporaries;
  }
};

TEST_P(MoverKillTest, EveryFileStaysWholeWhereverTheRunIsKilled) {
  const Scenario& s = GetParam();
  if (s.across && !mount.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
  TransferOptions options;
  options.serverDir = src.string();
  options.receiveDir = dst.string();
  options.copyFiles = s.copy;
  options.renameMethod = RenameMethod::SerialNumber;
  std::vector<std::string> sources;
  for (const auto& [name, content] : files) sources.push_back((src / name).string());
  long kills = 0;
  bool leftTemporaries = false;
  for (long at = 1; at < 5000 && !HasFailure(); ++at) {
    SCOPED_TRACE("killed at call " + std::to_string(at));
    for (const fs::path& folder : {src, dst}) {
      fs::create_directories(folder);
      for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    }
    for (const auto& [name, content] : files)
      std::ofstream(src / name, std::ios::binary) << content;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      KillAt calls(at, s.unnamedFiles);
      platform::setSyscalls(&calls);
      ::_exit(mMoveFile(sources, options) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) {
      // Not killed any more: the run got through.
      ASSERT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(dst), {})),
                files.size());
      EXPECT_EQ(fs::is_empty(src), !s.copy);
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ++kills;
    leftTemporaries |= checkNothingPartial();
  }
  EXPECT_GE(kills, static_cast<long>(files.size()));
  // Without unnamed files, some kills did leave a temporary behind.
  EXPECT_EQ(leftTemporaries, !s.unnamedFiles);
}

INSTANTIATE_TEST_SUITE_P(Runs, MoverKillTest,
                         ::testing::Values(kCopyUnnamed,
                                           Scenario{.name = "CopyNamedTemporary",
                                                    .copy = true,
                                                    .across = false,
                                                    .unnamedFiles = false},
                                           kMove, kMoveAcrossUnnamed, kMoveAcrossNamedTemporary),
                         scenarioName);

}  // namespace
}  // namespace msifter::engine

namespace msifter::engine {
namespace {

// Runs `body` in a child process killed before its `at`th call that changes
// what is on disk; true when it was killed, false when it got through.
bool killedAt(long at, bool unnamedFiles, const std::function<void()>& body) {
  const pid_t child = ::fork();
  EXPECT_GE(child, 0);
  if (child == 0) {
    KillAt calls(at, unnamedFiles);
    platform::setSyscalls(&calls);
    body();
    ::_exit(0);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0);
    return false;
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  return true;
}

// The same runs, with their journal.
class JournaledKillTest : public MoverKillTest {
 protected:
  TransferOptions options;
  std::vector<std::string> sources;

  void SetUp() override {
    if (GetParam().across && !mount.mounted()) GTEST_SKIP() << "cannot mount a memory file system";
    options.serverDir = src.string();
    options.receiveDir = dst.string();
    options.copyFiles = GetParam().copy;
    options.renameMethod = RenameMethod::SerialNumber;
    if (GetParam().backup) options.backupDir = bak.string();
    for (const auto& [name, content] : files) sources.push_back((src / name).string());
  }
  fs::path bak = env.root() / "bak";
  void reset() {
    fs::remove_all(env.stateHome());
    for (const fs::path& folder : {src, dst, bak}) {
      fs::create_directories(folder);
      for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    }
    for (const auto& [name, content] : files)
      std::ofstream(src / name, std::ios::binary) << content;
  }
  void run() {
    RunJournal journal;
    if (journal.begin(options) != 0) return;
    journal.finish(mMoveFile(sources, options, &journal));
  }
  // The first final name in the destination for `name`; "" when none.
  std::string finalName(const std::string& name) {
    for (const auto& e : fs::directory_iterator(dst)) {
      const std::string n = e.path().filename();
      if (n.size() > 11 && n.substr(11) == name) return e.path().string();
    }
    return {};
  }
  // What the next look at the journal (which settles it) says: every file
  // in one place, whole, and the journal names the ones that are moved or
  // copied, not yet taken back.
  void expectTheJournalTrue() {
    const std::vector<RunSummary> runs = listRuns();
    ASSERT_LE(runs.size(), 1u);
    std::map<std::string, JournalEntry> recorded;
    if (!runs.empty()) {
      EXPECT_FALSE(runs[0].inUse);
      EXPECT_EQ(runs[0].pendingFiles + runs[0].unclearFiles, 0);
      const std::optional<RunRecord> record = readRun(runs[0].id);
      ASSERT_TRUE(record.has_value());
      for (const JournalEntry& e : record->entries) {
        if (!e.undone) recorded[fs::path(e.file.source).filename()] = e;
      }
    }
    for (const auto& [name, content] : files) {
      SCOPED_TRACE(name);
      const bool atSource = fs::exists(src / name);
      const std::string made = finalName(name);
      EXPECT_EQ(atSource ? readText(src / name) : content, content);
      EXPECT_EQ(made.empty() ? content : readText(made), content);
      EXPECT_EQ(atSource, GetParam().copy || made.empty());
      EXPECT_EQ(recorded.contains(name), !made.empty());
      if (recorded.contains(name)) {
        EXPECT_EQ(recorded[name].file.destination, made);
      }
      // A backup recorded is whole; a source moved between file systems
      // goes only once its backup is on disk.
      if (GetParam().backup && recorded.contains(name) && !recorded[name].backup.path.empty()) {
        EXPECT_EQ(readText(recorded[name].backup.path), content);
      }
      if (GetParam().backup && !atSource && GetParam().across) {
        EXPECT_FALSE(recorded[name].backup.path.empty());
      }
      // Every file recorded has its backup: one whose run was killed before
      // it was made is made by the look that settles the run.
      if (GetParam().backup && recorded.contains(name)) {
        EXPECT_FALSE(recorded[name].backup.path.empty());
      }
    }
    expectBackupsWhole();
  }
  // Before any look settles the run: a moved file's source is gone only
  // once its backup is whole in the backup folder.
  void expectNoSourceGoneBeforeItsBackup() {
    if (!GetParam().backup) return;
    std::set<std::string> backedUp;
    for (const auto& e : fs::directory_iterator(bak)) {
      const std::string n = e.path().filename();
      if (!platform::isTransferTemporary(n) && n.size() > 11 && files.contains(n.substr(11)) &&
          readText(e.path()) == files.at(n.substr(11)))
        backedUp.insert(n.substr(11));
    }
    for (const auto& [name, content] : files) {
      if (!fs::exists(src / name)) {
        EXPECT_TRUE(backedUp.contains(name)) << name;
      }
    }
  }
  // Every final name in the backup folder holds its file whole.
  void expectBackupsWhole() {
    if (!GetParam().backup) return;
    for (const auto& e : fs::directory_iterator(bak)) {
      const std::string n = e.path().filename();
      if (platform::isTransferTemporary(n)) continue;
      ASSERT_GT(n.size(), 11u) << n;
      EXPECT_EQ(readText(e.path()), files.at(n.substr(11))) << n;
    }
  }
  // The final names left in the backup folder.
  std::size_t backupsLeft() {
    std::size_t left = 0;
    if (!GetParam().backup) return left;
    for (const auto& e : fs::directory_iterator(bak))
      left += platform::isTransferTemporary(e.path().filename().string()) ? 0 : 1;
    return left;
  }
  // After undo every file is where the run found it, alone. A run killed
  // before its journal was made touched nothing.
  void expectAllBack() {
    const UndoReport undo = undoRun({});
    EXPECT_TRUE(undo.status == UndoStatus::Done || undo.status == UndoStatus::NoRuns);
    for (const auto& [name, content] : files) {
      EXPECT_EQ(readText(src / name), content) << name;
      EXPECT_EQ(finalName(name), "") << name;
    }
    EXPECT_EQ(backupsLeft(), 0u);
  }
};

TEST_P(JournaledKillTest, TheNextLookFindsEveryFileInOnePlace) {
  long kills = 0;
  for (long at = 1; at < 5000 && !HasFailure(); ++at) {
    SCOPED_TRACE("run killed at call " + std::to_string(at));
    reset();
    if (!killedAt(at, GetParam().unnamedFiles, [&] { run(); })) break;
    ++kills;
    expectNoSourceGoneBeforeItsBackup();
    expectTheJournalTrue();
    expectAllBack();
  }
  EXPECT_GE(kills, 10);
}

// A run killed with a file of it in the destination, then its first look
// killed at each step: the look after it still finds the truth.
TEST_P(JournaledKillTest, ALookKilledIsFinishedByTheNext) {
  long runKill = 1;
  for (; runKill < 5000; ++runKill) {
    reset();
    ASSERT_TRUE(killedAt(runKill, GetParam().unnamedFiles, [&] { run(); }));
    if (!finalName(files.begin()->first).empty()) break;
  }
  long kills = 0;
  for (long at = 1; at < 5000 && !HasFailure(); ++at) {
    SCOPED_TRACE("look killed at call " + std::to_string(at));
    reset();
    ASSERT_TRUE(killedAt(runKill, GetParam().unnamedFiles, [&] { run(); }));
    if (!killedAt(at, GetParam().unnamedFiles, [] { listRuns(); })) break;
    ++kills;
    expectTheJournalTrue();
  }
  EXPECT_GE(kills, 1);
}

// An undo killed at each step: the next look finds each file back or where
// the run put it, and says which; undo again takes back the rest.
TEST_P(JournaledKillTest, AnUndoKilledIsSettledAndFinishedByTheNext) {
  long kills = 0;
  for (long at = 1; at < 5000 && !HasFailure(); ++at) {
    SCOPED_TRACE("undo killed at call " + std::to_string(at));
    reset();
    run();
    if (!killedAt(at, GetParam().unnamedFiles, [] { undoRun({}); })) break;
    ++kills;
    expectTheJournalTrue();
    expectAllBack();
  }
  EXPECT_GE(kills, static_cast<long>(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Runs, JournaledKillTest,
                         ::testing::Values(kCopyUnnamed, kMove, kMoveAcrossUnnamed,
                                           kMoveAcrossNamedTemporary,
                                           Scenario{.name = "CopyWithBackup",
                                                    .copy = true,
                                                    .across = false,
                                                    .unnamedFiles = true,
                                                    .backup = true},
                                           Scenario{.name = "MoveWithBackup",
                                                    .copy = false,
                                                    .across = false,
                                                    .unnamedFiles = true,
                                                    .backup = true},
                                           Scenario{.name = "MoveAcrossWithBackup",
                                                    .copy = false,
                                                    .across = true,
                                                    .unnamedFiles = true,
                                                    .backup = true}),
                         scenarioName);

}  // namespace
}  // namespace msifter::engine
