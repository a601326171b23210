#include "platform/instance_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempEnv;

constexpr uid_t kNobody = 65534;

// A child process that holds the lock on `path` until it is killed, as this
// user or as the unprivileged one.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path, bool asNobody = false) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      if (asNobody && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(1);
      InstanceLock lock;
      const char answer = lock.tryLock(path) == InstanceLockState::Held ? 'y' : 'n';
      (void)!::write(ready[1], &answer, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    holding_ = pid_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
  }
  ~LockHolder() { kill(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool holding() const { return holding_; }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

// Runs `body` in a child process as the unprivileged user; its result is the
// child's exit status, nullopt when the child could not become that user.
std::optional<int> asNobody(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(255);
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
    return std::nullopt;
  }
  return WEXITSTATUS(status);
}

int stateCode(InstanceLockState state) { return static_cast<int>(state); }

class InstanceLockTest : public ::testing::Test {
 protected:
  fs::path at(const std::string& name) const { return env.root() / name; }
  TempEnv env;
};

TEST_F(InstanceLockTest, WhateverTheFileHoldsTheLockIsTaken) {
  struct Case {
    const char* what;
    std::optional<std::string> contents;  // nullopt: no file yet
  };
  const Case cases[] = {
      {"no file", std::nullopt},
      {"empty file", std::string()},
      {"garbage", std::string("\x01\xff garbage \n\n", 13)},
      {"a lock file of an earlier version", std::string("4242\nm_sifter\nother-host\n")},
  };
  for (const Case& c : cases) {
    const fs::path path = at(std::string("lock-") + std::to_string(&c - cases));
    if (c.contents) std::ofstream(path, std::ios::binary) << *c.contents;
    InstanceLock lock;
    ASSERT_EQ(lock.tryLock(path), InstanceLockState::Held) << c.what;
    EXPECT_TRUE(lock.held()) << c.what;
    // A second try from elsewhere meets the lock, until it is let go.
    InstanceLock other;
    EXPECT_EQ(other.tryLock(path), InstanceLockState::HeldElsewhere) << c.what;
    lock.unlock();
    EXPECT_EQ(other.tryLock(path), InstanceLockState::Held) << c.what;
  }
  struct stat info {};
  ASSERT_EQ(::stat(at("lock-0").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "a new lock file is its owner's alone";
}

TEST_F(InstanceLockTest, NoLockIsTakenThroughAnythingButARegularFile) {
  const fs::path elsewhere = at("elsewhere");
  fs::create_directories(at("folder"));
  fs::create_symlink(elsewhere, at("dangling-link"));
  std::ofstream(at("target"), std::ios::binary) << "keep";
  fs::create_symlink(at("target"), at("link-to-file"));
  ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0600), 0);
  struct Case {
    const char* name;
    int error;
  };
  const Case cases[] = {
      {"folder", EISDIR},
      {"dangling-link", ELOOP},
      {"link-to-file", ELOOP},
      {"pipe", EINVAL},
      {"missing-folder/m_sifter.lock", ENOENT},
  };
  for (const Case& c : cases) {
    InstanceLock lock;
    EXPECT_EQ(lock.tryLock(at(c.name)), InstanceLockState::Unavailable) << c.name;
    EXPECT_EQ(lock.error(), c.error) << c.name;
    EXPECT_FALSE(lock.held()) << c.name;
  }
  EXPECT_FALSE(fs::exists(elsewhere)) << "a link was followed";
  std::ifstream target(at("target"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), "keep");
}

TEST_F(InstanceLockTest, OnlyALiveHolderRefuses) {
  const std::string path = at("m_sifter.lock");
  LockHolder holder(path);
  ASSERT_TRUE(holder.holding());
  InstanceLock lock;
  EXPECT_EQ(lock.tryLock(path), InstanceLockState::HeldElsewhere);
  holder.kill();  // no chance to let go of anything itself
  EXPECT_EQ(lock.tryLock(path), InstanceLockState::Held);
}

TEST_F(InstanceLockTest, AnExistingLockFileServesInAReadOnlyFolder) {
  const fs::path mountPoint = at("ro");
  fs::create_directories(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a file system here: " << std::strerror(errno);
  }
  std::ofstream(mountPoint / "m_sifter.lock") << "";
  const int remounted = ::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
  if (remounted == 0) {
    InstanceLock lock;
    EXPECT_EQ(lock.tryLock(mountPoint / "m_sifter.lock"), InstanceLockState::Held);
    InstanceLock missing;
    EXPECT_EQ(missing.tryLock(mountPoint / "other.lock"), InstanceLockState::Unavailable);
    EXPECT_EQ(missing.error(), EROFS);
  }
  ::umount2(mountPoint.c_str(), MNT_DETACH);
  ASSERT_EQ(remounted, 0) << std::strerror(errno);
}

TEST_F(InstanceLockTest, NoUserCanHoldAnothersLockInASharedFolder) {
  const fs::path shared = at("shared");
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  const std::string ownName = instanceLockFileName(true);
  EXPECT_EQ(ownName, "m_sifter-" + std::to_string(::geteuid()) + ".lock");
  EXPECT_EQ(instanceLockFileName(false), "m_sifter.lock");
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  fs::permissions(env.root(), fs::perms::others_exec, fs::perm_options::add);

  // Files left at the other user's name by this one, readable or not.
  const fs::path readable = shared / "readable.lock";
  const fs::path hidden = shared / "hidden.lock";
  std::ofstream(readable) << "";
  std::ofstream(hidden) << "";
  fs::permissions(readable, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read | fs::perms::others_write);
  fs::permissions(hidden, fs::perms::owner_read | fs::perms::owner_write);
  const auto tryAsNobody = [](const fs::path& path) {
    return asNobody([path] {
      InstanceLock lock;
      const InstanceLockState state = lock.tryLock(path);
      return stateCode(state) * 10 + (lock.error() == EACCES ? 1 : 0);
    });
  };
  const int unavailableForLackOfAccess = stateCode(InstanceLockState::Unavailable) * 10 + 1;
  EXPECT_EQ(tryAsNobody(readable), unavailableForLackOfAccess);
  EXPECT_EQ(tryAsNobody(hidden), unavailableForLackOfAccess);

  // The other user's lock file at this user's name, held by a live process,
  // cannot keep this user from starting.
  LockHolder theirs(shared / ownName, true);
  ASSERT_TRUE(theirs.holding());
  InstanceLock mine;
  EXPECT_EQ(mine.tryLock(shared / ownName), InstanceLockState::Unavailable);
  EXPECT_EQ(mine.error(), EACCES);
}

}  // namespace
}  // namespace msifter::platform
