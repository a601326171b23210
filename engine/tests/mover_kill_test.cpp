// A run killed (SIGKILL) at each system call it makes, one child process per
// kill. Whatever the moment, every file afterwards exists whole: at its
// source or under a final name, never partial under any name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/mover.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "scratch_mount.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

// Counts the calls of the run and kills the process at the chosen one;
// optionally a file system without unnamed files.
class KillAt : public platform::Syscalls {
 public:
  KillAt(long at, bool unnamedFiles) : at_(at), unnamedFiles_(unnamedFiles) {}

  int open(const char* p, int f, mode_t m) override { return step(), Syscalls::open(p, f, m); }
  int close(int fd) override { return step(), Syscalls::close(fd); }
  ssize_t read(int fd, void* b, size_t n) override { return step(), Syscalls::read(fd, b, n); }
  ssize_t write(int fd, const void* b, size_t n) override { return step(), Syscalls::write(fd, b, n); }
  ssize_t copyFileRange(int in, int out, size_t n) override {
    return step(), Syscalls::copyFileRange(in, out, n);
  }
  int fsync(int fd) override { return step(), Syscalls::fsync(fd); }
  int fstat(int fd, struct stat* s) override { return step(), Syscalls::fstat(fd, s); }
  int lstat(const char* p, struct stat* s) override { return step(), Syscalls::lstat(p, s); }
  int stat(const char* p, struct stat* s) override { return step(), Syscalls::stat(p, s); }
  int fchmod(int fd, mode_t m) override { return step(), Syscalls::fchmod(fd, m); }
  int fchown(int fd, uid_t u, gid_t g) override { return step(), Syscalls::fchown(fd, u, g); }
  int futimens(int fd, const struct timespec t[2]) override { return step(), Syscalls::futimens(fd, t); }
  int unlink(const char* p) override { return step(), Syscalls::unlink(p); }
  int fstatat(int d, const char* p, struct stat* s, int f) override {
    return step(), Syscalls::fstatat(d, p, s, f);
  }
  int openAt(int d, const char* p, int f, mode_t m) override {
    step();
    if (!unnamedFiles_ && (f & O_TMPFILE) == O_TMPFILE) {
      errno = EOPNOTSUPP;
      return -1;
    }
    return Syscalls::openAt(d, p, f, m);
  }
  int renameAt(int fd, const char* f, int td, const char* t, unsigned fl) override {
    return step(), Syscalls::renameAt(fd, f, td, t, fl);
  }
  int linkAt(int fd, const char* f, int td, const char* t, int fl) override {
    return step(), Syscalls::linkAt(fd, f, td, t, fl);
  }
  int unlinkAt(int d, const char* p, int f) override { return step(), Syscalls::unlinkAt(d, p, f); }
  int syncfs(int fd) override { return step(), Syscalls::syncfs(fd); }
  int flock(int fd, int op) override { return step(), Syscalls::flock(fd, op); }
  off_t lseek(int fd, off_t o, int w) override { return step(), Syscalls::lseek(fd, o, w); }
  int ftruncate(int fd, off_t n) override { return step(), Syscalls::ftruncate(fd, n); }
  int cloneFile(int out, int in) override { return step(), Syscalls::cloneFile(out, in); }
  ssize_t flistxattr(int fd, char* l, size_t n) override { return step(), Syscalls::flistxattr(fd, l, n); }
  int fsetxattr(int fd, const char* n, const void* v, size_t s, int f) override {
    return step(), Syscalls::fsetxattr(fd, n, v, s, f);
  }

 private:
  void step() {
    if (++calls_ == at_) ::kill(::getpid(), SIGKILL);
  }
  long at_;
  long calls_ = 0;
  bool unnamedFiles_;
};

// A later run, long after: its owner gone, a named temporary is removed.
struct MuchLater : platform::Syscalls {
  std::time_t now() override { return Syscalls::now() + 3600; }
};

std::string text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Scenario {
  const char* name;
  bool copy;
  bool across;
  bool unnamedFiles;
};

class MoverKillTest : public ::testing::TestWithParam<Scenario> {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  testing::ScratchMount mount{env.root() / "remote"};
  fs::path dst = env.root() / "dst";
  const std::map<std::string, std::string> files = {
      {"a.jpg", std::string(5000, 'a')}, {"b.jpg", std::string(300000, 'b')}, {"c.jpg", "c"}};

  fs::path sourceFolder() const { return GetParam().across ? mount.path() : env.root() / "src"; }

  std::vector<std::string> freshTrees() {
    const fs::path src = sourceFolder();
    for (const fs::path& folder : {src, dst}) {
      for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    }
    std::vector<std::string> sources;
    for (const auto& [name, content] : files) {
      std::ofstream(src / name, std::ios::binary) << content;
      sources.push_back((src / name).string());
    }
    return sources;
  }

  // Every file whole at its source or under one final name; both only for a
  // move between file systems killed after its copy was on disk. Named
  // temporaries are no final names; a later run removes them. True when
  // there were some.
  bool checkNothingPartial() {
    const Scenario& s = GetParam();
    std::map<std::string, int> placed;
    bool temporaries = false;
    for (const auto& e : fs::directory_iterator(dst)) {
      const std::string name = e.path().filename().string();
      if (platform::isTransferTemporary(name)) {
        temporaries = true;
        continue;
      }
      const std::string original = name.size() > 11 ? name.substr(11) : name;  // "0000000000_"
      if (files.count(original) != 1) {
        ADD_FAILURE() << "unexpected name " << name;
        continue;
      }
      EXPECT_EQ(text(e.path()), files.at(original)) << name;
      ++placed[original];
    }
    for (const auto& [name, content] : files) {
      SCOPED_TRACE(name);
      const fs::path source = sourceFolder() / name;
      const bool atSource = fs::exists(source);
      if (atSource) {
        EXPECT_EQ(text(source), content);
      }
      EXPECT_LE(placed[name], 1);
      if (s.copy) {
        EXPECT_TRUE(atSource);
      } else if (s.across) {
        EXPECT_GE(atSource + placed[name], 1);
      } else {
        EXPECT_EQ(atSource + placed[name], 1);
      }
    }
    EXPECT_TRUE(!temporaries || !s.unnamedFiles);
    if (temporaries) {
      MuchLater later;
      platform::ScopedSyscalls scoped(later);
      platform::DestinationFolder folder;
      EXPECT_EQ(folder.open(dst.string()), 0);
      for (const auto& e : fs::directory_iterator(dst))
        EXPECT_FALSE(platform::isTransferTemporary(e.path().filename().string()));
    }
    return temporaries;
  }
};

TEST_P(MoverKillTest, EveryFileStaysWholeWhereverTheRunIsKilled) {
  const Scenario& s = GetParam();
  if (s.across && !mount.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
  fs::create_directories(sourceFolder());
  fs::create_directories(dst);
  TransferOptions options;
  options.receiveDir = dst.string();
  options.copyFiles = s.copy;
  options.renameMethod = RenameMethod::SerialNumber;
  long kills = 0;
  bool leftTemporaries = false;
  for (long at = 1; at < 5000; ++at) {
    SCOPED_TRACE("killed at call " + std::to_string(at));
    const std::vector<std::string> sources = freshTrees();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      KillAt calls(at, s.unnamedFiles);
      platform::setSyscalls(&calls);
      runState().serialNumber = 0;
      ::_exit(mMoveFile(sources, options) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) {
      // The run got through: every file transferred.
      ASSERT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(dst), {})), files.size());
      EXPECT_EQ(fs::is_empty(sourceFolder()), !s.copy);
      break;
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ++kills;
    leftTemporaries |= checkNothingPartial();
    if (HasFailure()) break;
  }
  EXPECT_GT(kills, 10);
  // Without unnamed files, some kills did leave a temporary behind.
  EXPECT_EQ(leftTemporaries, !s.unnamedFiles);
}

INSTANTIATE_TEST_SUITE_P(Runs, MoverKillTest,
                         ::testing::Values(Scenario{"CopyUnnamed", true, false, true},
                                           Scenario{"CopyNamedTemporary", true, false, false},
                                           Scenario{"Move", false, false, true},
                                           Scenario{"MoveAcrossUnnamed", false, true, true},
                                           Scenario{"MoveAcrossNamedTemporary", false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace msifter::engine
