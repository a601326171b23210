// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/own_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/directory.h"
#include "platform/file_reading.h"
#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;
using testing::writeText;

UniqueFd openFolder(const fs::path& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::string contents(int fd) {
  std::string text;
  EXPECT_TRUE(readWhole(fd, text).ok());
  return text;
}

// Writes at most one byte a call, or nothing at all.
class MeagreWrites : public Syscalls {
 public:
  explicit MeagreWrites(bool none) : none_(none) {}
  ssize_t pwrite(int fd, const void* b, size_t n, off_t at) override {
    return none_ ? 0 : Syscalls::pwrite(fd, b, n > 0 ? 1 : 0, at);
  }

 private:
  bool none_;
};

// A journal's life: made once under its name, written at offsets into room
// reserved ahead, then cut back to what was written.
TEST(OwnFiles, AppendReserveAndTruncateRoundTrip) {
  testing::TempEnv env;
  fs::create_directory(env.root() / "journal");
  const UniqueFd folder = openFolder(env.root() / "journal");
  UniqueFd file;
  ASSERT_TRUE(createFileIn(folder.get(), "run.journal", file).ok());
  UniqueFd again;
  EXPECT_TRUE(createFileIn(folder.get(), "run.journal", again).nameTaken());
  EXPECT_EQ(fs::status(env.root() / "journal/run.journal").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  ASSERT_TRUE(writeAt(file.get(), 0, "header\n").ok());
  ASSERT_TRUE(reserveRoom(file.get(), 7, 1 << 20).ok());
  FileIdentity id;
  ASSERT_TRUE(identityOfOpen(file.get(), id).ok());
  EXPECT_EQ(id.size, 7 + (1 << 20));
  ASSERT_TRUE(writeAt(file.get(), 7, "line 1\n").ok());
  ASSERT_TRUE(syncData(file.get()).ok());
  ASSERT_TRUE(truncateFile(file.get(), 14).ok());
  ASSERT_TRUE(syncFile(file.get()).ok());
  EXPECT_EQ(contents(file.get()), "header\nline 1\n");

  char tail[8] = {};
  std::size_t got = 99;
  ASSERT_TRUE(readAt(file.get(), 7, tail, sizeof tail, got).ok());
  EXPECT_EQ(std::string(tail, got), "line 1\n");
  ASSERT_TRUE(readAt(file.get(), 14, tail, sizeof tail, got).ok());
  EXPECT_EQ(got, 0u);

  {
    MeagreWrites oneByte(false);
    ScopedSyscalls seam(oneByte);
    EXPECT_TRUE(writeAt(file.get(), 14, "line 2\n").ok());
  }
  EXPECT_EQ(contents(file.get()), "header\nline 1\nline 2\n");
  MeagreWrites nothing(true);
  ScopedSyscalls seam(nothing);
  EXPECT_EQ(writeAt(file.get(), 21, "line 3\n").code(), ENOSPC);
}

TEST(OwnFiles, OnlyARegularFileIsOpenedNeverALinkOrAPipe) {
  testing::TempEnv env;
  const fs::path at = env.root() / "journal";
  env.writeFile("journal/run.journal", 4, 'j');
  fs::create_symlink(at / "run.journal", at / "link.journal");
  fs::create_directory(at / "folder.journal");
  ASSERT_EQ(::mkfifo((at / "pipe.journal").c_str(), 0600), 0);
  const UniqueFd folder = openFolder(at);
  struct Row {
    const char* name;
    OpenFor purpose;
    int error;
  };
  const Row rows[] = {
      {"run.journal", OpenFor::Reading, 0},         {"run.journal", OpenFor::Writing, 0},
      {"link.journal", OpenFor::Reading, ELOOP},    {"pipe.journal", OpenFor::Reading, EINVAL},
      {"folder.journal", OpenFor::Reading, EINVAL}, {"none.journal", OpenFor::Reading, ENOENT},
  };
  for (const Row& row : rows) {
    UniqueFd file;
    EXPECT_EQ(openFileIn(folder.get(), row.name, row.purpose, file).code(), row.error) << row.name;
    EXPECT_EQ(file.valid(), row.error == 0) << row.name;
  }
}

// flock locks belong to the open file: two opens in one process contend as
// two processes would.
TEST(OwnFiles, ALockWaitsOrSaysItIsHeldElsewhere) {
  testing::TempEnv env;
  fs::create_directory(env.root() / "journal");
  const UniqueFd folder = openFolder(env.root() / "journal");
  UniqueFd first, second;
  ASSERT_TRUE(openLockFileIn(folder.get(), "runs.lock", first).ok());
  ASSERT_TRUE(openLockFileIn(folder.get(), "runs.lock", second).ok());

  ASSERT_TRUE(lockFile(first.get(), LockMode::Shared, LockWait::DontWait).ok());
  EXPECT_TRUE(lockFile(second.get(), LockMode::Shared, LockWait::DontWait).ok());
  EXPECT_TRUE(lockFile(second.get(), LockMode::Exclusive, LockWait::DontWait).heldElsewhere());

  ASSERT_TRUE(lockFile(first.get(), LockMode::Exclusive, LockWait::DontWait).ok());
  std::thread holder([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.reset();
  });
  EXPECT_TRUE(lockFile(second.get(), LockMode::Exclusive, LockWait::Wait).ok());
  holder.join();
  UniqueFd third;
  ASSERT_TRUE(openLockFileIn(folder.get(), "runs.lock", third).ok());
  EXPECT_TRUE(lockFile(third.get(), LockMode::Shared, LockWait::DontWait).heldElsewhere());
}

TEST(OwnFiles, AnInstanceLockFileIsARegularFileOfThisUser) {
  testing::TempEnv env;
  const fs::path mine = env.root() / "mine.lock";
  UniqueFd file;
  ASSERT_TRUE(openOwnLockFile(mine.string(), file).ok());
  EXPECT_TRUE(fs::is_regular_file(mine));

  const fs::path theirs = env.writeFile("theirs.lock");
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  fs::create_symlink(mine, env.root() / "link.lock");
  fs::create_directory(env.root() / "folder.lock");
  EXPECT_EQ(openOwnLockFile(theirs.string(), file).code(), EACCES);
  EXPECT_EQ(openOwnLockFile((env.root() / "link.lock").string(), file).code(), ELOOP);
  EXPECT_EQ(openOwnLockFile((env.root() / "folder.lock").string(), file).code(), EISDIR);
  EXPECT_FALSE(file.valid());
}

TEST(OwnFiles, AnOwnFolderIsMadeOwnerOnlyAndNeverEnteredThroughALink) {
  testing::TempEnv env;
  const fs::path base = env.root() / "state";
  UniqueFd folder;
  EXPECT_EQ(openOwnFolder(base.string(), {"m_sifter", "journal"}, Missing::Fail, folder).code(),
            ENOENT);
  ASSERT_TRUE(openOwnFolder(base.string(), {"m_sifter", "journal"}, Missing::Make, folder).ok());
  EXPECT_EQ(fs::status(base / "m_sifter/journal").permissions(), fs::perms::owner_all);
  Directory listed;
  bool any = true;
  ASSERT_TRUE(listed.open(folder.get(), ".").ok());
  ASSERT_TRUE(listed.hasEntries(any).ok());
  EXPECT_FALSE(any);

  fs::create_directory(env.root() / "elsewhere");
  fs::rename(base / "m_sifter/journal", base / "m_sifter/old");
  fs::create_directory_symlink(env.root() / "elsewhere", base / "m_sifter/journal");
  // Opened as a folder without following it, a link is no folder.
  for (const Missing missing : {Missing::Fail, Missing::Make}) {
    EXPECT_EQ(openOwnFolder(base.string(), {"m_sifter", "journal"}, missing, folder).code(),
              ENOTDIR);
  }
}

// Reads that fail count as different bytes: a copy is removed on the
// strength of a match.
class UnreadableFiles : public Syscalls {
 public:
  ssize_t read(int, void*, size_t) override {
    errno = EIO;
    return -1;
  }
};

TEST(OwnFiles, SameBytesOnlyWhenEveryByteWasReadAndMatches) {
  testing::TempEnv env;
  const std::string big(200000, 'b');
  const testing::BytesCase rows[] = {
      {"equal, past one chunk", big, big, true},
      {"last byte differs", big, big.substr(0, big.size() - 1) + "c", false},
      {"one is longer", big, big + "b", false},
      {"both empty", "", "", true},
  };
  for (const testing::BytesCase& row : rows) {
    const fs::path a = writeText(env.root() / "a", row.first);
    const fs::path b = writeText(env.root() / "b", row.second);
    EXPECT_EQ(sameBytes(a.string(), b.string()), row.same) << row.what;
  }
  EXPECT_FALSE(sameBytes((env.root() / "a").string(), (env.root() / "none").string()));
  UnreadableFiles unreadable;
  ScopedSyscalls seam(unreadable);
  EXPECT_FALSE(sameBytes((env.root() / "a").string(), (env.root() / "b").string()));
}

}  // namespace
}  // namespace msifter::platform
