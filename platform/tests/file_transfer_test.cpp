// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_transfer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "folder_pair_test.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "platform/transfer_meter.h"
#include "recorded_calls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;

using testing::namesIn;
using testing::readText;
using testing::writeText;

void setModified(const fs::path& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t modified(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mtim.tv_sec;
}

// Fails one kind of call with a chosen errno.
enum class Step {
  None,
  RenameFirst,
  Link,
  CopyData,
  Write,
  OpenSource,
  OpenTemp,
  SyncData,
  SyncNames,
  Futimens,
  UnlinkSource
};

// One row of a failure table: the step that fails, and how.
struct Fault {
  Step step = Step::None;
  int error = 0;
  bool noKernelCopy = false;
};

// The steps every copy takes, each failing once; the copy path and the path
// between file systems add their own.
std::vector<Fault> copyStepsAnd(std::initializer_list<Fault> more) {
  std::vector<Fault> all = {{.step = Step::CopyData, .error = ENOSPC},
                            {.step = Step::Write, .error = ENOSPC, .noKernelCopy = true},
                            {.step = Step::OpenTemp, .error = EACCES},
                            {.step = Step::OpenSource, .error = ENOENT},
                            {.step = Step::SyncData, .error = EIO},
                            {.step = Step::Futimens, .error = EPERM}};
  all.insert(all.end(), more);
  return all;
}

class FaultyCalls : public Syscalls {
 public:
  FaultyCalls() = default;
  FaultyCalls(const Fault& fault, std::string sourcePath)
      : step(fault.step),
        error(fault.error),
        source(std::move(sourcePath)),
        noKernelCopy(fault.noKernelCopy) {}

  Step step = Step::None;
  int error = 0;
  std::string source;  // the path the source-related steps look at
  bool noKernelCopy = false;
  int renames = 0;
  int syncs = 0;

  int renameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override {
    if (step == Step::RenameFirst && ++renames == 1) return failWith();
    return Syscalls::renameAt(fromDir, from, toDir, to, flags);
  }
  int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
    if (step == Step::Link) return failWith();
    return Syscalls::linkAt(fromDir, from, toDir, to, flags);
  }
  ssize_t copyFileRange(int in, int out, size_t count) override {
    if (step == Step::CopyData) return failWith();
    if (noKernelCopy) {
      errno = ENOSYS;
      return -1;
    }
    return Syscalls::copyFileRange(in, out, count);
  }
  ssize_t write(int fd, const void* buffer, size_t count) override {
    if (step == Step::Write) return failWith();
    return Syscalls::write(fd, buffer, count);
  }
  int open(const char* path, int flags, mode_t mode) override {
    if (step == Step::OpenSource && path == source) return failWith();
    if (step == Step::OpenTemp && (flags & O_CREAT)) return failWith();
    return Syscalls::open(path, flags, mode);
  }
  int openAt(int dir, const char* path, int flags, mode_t mode) override {
    if (step == Step::OpenTemp && ((flags & O_TMPFILE) == O_TMPFILE || (flags & O_CREAT)))
      return failWith();
    if (step == Step::OpenSource && isSource(dir, path)) return failWith();
    return Syscalls::openAt(dir, path, flags, mode);
  }
  int syncfs(int fd) override {
    ++syncs;
    if ((step == Step::SyncData && syncs == 1) || (step == Step::SyncNames && syncs == 2))
      return failWith();
    return Syscalls::syncfs(fd);
  }
  int futimens(int fd, const struct timespec t[2]) override {
    return step == Step::Futimens ? failWith() : Syscalls::futimens(fd, t);
  }
  int unlink(const char* path) override {
    if (step == Step::UnlinkSource && path == source) return failWith();
    return Syscalls::unlink(path);
  }
  int unlinkAt(int dir, const char* path, int flags) override {
    if (step == Step::UnlinkSource && isSource(dir, path)) return failWith();
    return Syscalls::unlinkAt(dir, path, flags);
  }

 protected:
  // The source reached through its folder's descriptor.
  bool isSource(int dir, const char* name) const {
    struct stat folder {
    }, sourceFolder{};
    const fs::path path(source);
    return !source.empty() && path.filename() == name && ::fstat(dir, &folder) == 0 &&
           ::stat(path.parent_path().c_str(), &sourceFolder) == 0 &&
           folder.st_dev == sourceFolder.st_dev && folder.st_ino == sourceFolder.st_ino;
  }

 private:
  int failWith() {
    errno = error;
    return -1;
  }
};

using FileTransferTest = testing::FolderPairTest;

TEST_F(FileTransferTest, MoveWithinOneFileSystemRefusesATakenName) {
  writeText(src / "a.jpg", "new");
  writeText(dst / "a.jpg", "old");
  const OsError r = moveFile(src / "a.jpg", dst / "a.jpg");
  EXPECT_TRUE(r.nameTaken());
  EXPECT_EQ(readText(dst / "a.jpg"), "old");
  EXPECT_EQ(readText(src / "a.jpg"), "new");

  EXPECT_TRUE(moveFile(src / "a.jpg", dst / "b.jpg").ok());
  EXPECT_FALSE(fs::exists(src / "a.jpg"));
  EXPECT_EQ(readText(dst / "b.jpg"), "new");
}

TEST_F(FileTransferTest, MissingSourceFailsAndCreatesNothing) {
  const OsError r = moveFile(src / "gone.jpg", dst / "x.jpg");
  EXPECT_EQ(r.code(), ENOENT);
  EXPECT_STREQ(r.operation(), "lstat");
  EXPECT_EQ(r.message(), "lstat " + (src / "gone.jpg").string() + ": No such file or directory");
  EXPECT_TRUE(namesIn(dst).empty());
}

TEST_F(FileTransferTest, CopyKeepsSourceModeAndModificationTime) {
  writeText(src / "a.jpg", std::string(300000, 'z'));
  fs::permissions(src / "a.jpg", fs::perms::owner_read | fs::perms::group_read);
  setModified(src / "a.jpg", 1034674200);
  ASSERT_TRUE(copyFile(src / "a.jpg", dst / "c.jpg").ok());
  EXPECT_EQ(readText(src / "a.jpg"), std::string(300000, 'z'));
  EXPECT_EQ(readText(dst / "c.jpg"), std::string(300000, 'z'));
  EXPECT_EQ(modified(dst / "c.jpg"), 1034674200);
  EXPECT_EQ(fs::status(dst / "c.jpg").permissions(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(namesIn(dst), std::vector<std::string>{"c.jpg"});

  // The same name again is refused and leaves no temporary file behind.
  EXPECT_TRUE(copyFile(src / "a.jpg", dst / "c.jpg").nameTaken());
  EXPECT_EQ(namesIn(dst), std::vector<std::string>{"c.jpg"});
}

TEST_F(FileTransferTest, CopyWithoutKernelCopyUsesReadAndWrite) {
  FaultyCalls calls;
  calls.noKernelCopy = true;
  ScopedSyscalls scoped(calls);
  writeText(src / "a.bin", std::string(700000, 'q'));
  ASSERT_TRUE(copyFile(src / "a.bin", dst / "a.bin").ok());
  EXPECT_EQ(readText(dst / "a.bin"), std::string(700000, 'q'));
}

// The meter of the copying thread moves chunk by chunk, before the copy
// ends, and ends at the file's length: in the kernel, by read and write, and
// over a file's holes.
TEST_F(FileTransferTest, CopiesAdvanceTheThreadsMeterChunkByChunk) {
  struct MeterSeen : Syscalls {
    TransferMeter* meter = nullptr;
    bool noKernelCopy = false;
    std::vector<int64_t> seen;  // the meter at each chunk asked for
    ssize_t copyFileRange(int in, int out, size_t count) override {
      seen.push_back(meter->bytes());
      if (noKernelCopy) return errno = ENOSYS, -1;
      return Syscalls::copyFileRange(in, out, count);
    }
    ssize_t read(int fd, void* buffer, size_t count) override {
      seen.push_back(meter->bytes());
      return Syscalls::read(fd, buffer, count);
    }
    // Shared blocks would copy the whole file at once.
    int cloneFile(int, int) override { return errno = EOPNOTSUPP, -1; }
  };
  constexpr int64_t kMiB = 1 << 20;
  struct Row {
    const char* name;
    bool noKernelCopy;
    bool sparse;  // 20 MiB of holes, 3 MiB of data in the middle
    int64_t beforeLastChunk;
  };
  const std::vector<Row> rows = {
      {"kernel copy, 8 MiB chunks", false, false, 16 * kMiB},
      {"read and write, 1 MiB chunks", true, false, 19 * kMiB},
      {"sparse, holes counted as passed", false, true, 10 * kMiB},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(dst);
    fs::create_directories(dst);
    const fs::path from = src / (std::string(row.sparse ? "sparse" : "full") + ".bin");
    if (row.sparse) {
      {
        std::ofstream out(from, std::ios::binary);
        out.seekp(10 * kMiB);
        out << std::string(3 * kMiB, 's');
      }
      fs::resize_file(from, 20 * kMiB);
    } else {
      writeText(from, std::string(20 * kMiB, 'm'));
    }
    TransferMeter meter;
    MeterSeen calls;
    calls.meter = &meter;
    calls.noKernelCopy = row.noKernelCopy;
    {
      const MeteredCopies metered(meter);
      ScopedSyscalls scoped(calls);
      ASSERT_TRUE(copyFile(from, dst / "copy.bin").ok());
    }
    EXPECT_EQ(meter.bytes(), 20 * kMiB);
    ASSERT_FALSE(calls.seen.empty());
    EXPECT_EQ(calls.seen.front(), row.sparse ? 10 * kMiB : 0);
    // The last chunk asked for (the one that finds the end) saw the rest.
    EXPECT_GE(calls.seen[calls.seen.size() - 1], row.beforeLastChunk);
    EXPECT_TRUE(std::is_sorted(calls.seen.begin(), calls.seen.end()));
  }
  // No meter set: nothing is counted anywhere.
  EXPECT_EQ(threadMeter(), nullptr);
}

// Each failing step of the copy path: the source is untouched, the
// destination holds nothing (no partial file, no temporary name).
TEST_F(FileTransferTest, CopyFailuresLeaveNothingBehind) {
  const std::vector<Fault> faults = copyStepsAnd({{.step = Step::Link, .error = EACCES}});
  writeText(src / "a.jpg", "photo");
  for (const Fault& f : faults) {
    SCOPED_TRACE(static_cast<int>(f.step));
    FaultyCalls calls(f, (src / "a.jpg").string());
    ScopedSyscalls scoped(calls);
    EXPECT_EQ(copyFile(src / "a.jpg", dst / "a.jpg").code(), f.error);
    EXPECT_EQ(readText(src / "a.jpg"), "photo");
    EXPECT_TRUE(namesIn(dst).empty());
  }
}

// A folder on another file system than the build folder, or nothing.
std::optional<fs::path> otherFileSystemRoot(const fs::path& here) {
  struct stat hereStat {};
  if (::stat(here.c_str(), &hereStat) != 0) return std::nullopt;
  for (const char* candidate : {"/dev/shm", "/run/user", "/tmp"}) {
    struct stat st {};
    if (::stat(candidate, &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev != hereStat.st_dev &&
        ::access(candidate, W_OK) == 0)
      return fs::path(candidate);
  }
  return std::nullopt;
}

class CrossFileSystemTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  fs::path local;  // in the build folder
  fs::path remote;
  void SetUp() override {
    const auto other = otherFileSystemRoot(fs::current_path());
    if (!other) GTEST_SKIP() << "no second file system beside the build folder";
    local = fs::current_path() / ("xfs-test-" + std::to_string(::getpid()));
    remote = *other / ("msifter-xfs-" + std::to_string(::getpid()));
    fs::create_directories(local);
    fs::create_directories(remote);
  }
  void TearDown() override {
    std::error_code ec;
    if (!local.empty()) fs::remove_all(local, ec);
    if (!remote.empty()) fs::remove_all(remote, ec);
  }
};

TEST_F(CrossFileSystemTest, MoveBetweenFileSystemsKeepsContentTimeAndMode) {
  writeText(remote / "a.jpg", std::string(1 << 20, 'm'));
  fs::permissions(remote / "a.jpg", fs::perms::owner_read | fs::perms::owner_write);
  setModified(remote / "a.jpg", 1034674200);
  ASSERT_TRUE(moveFile(remote / "a.jpg", local / "b.jpg").ok());
  EXPECT_FALSE(fs::exists(remote / "a.jpg"));
  EXPECT_EQ(readText(local / "b.jpg"), std::string(1 << 20, 'm'));
  EXPECT_EQ(modified(local / "b.jpg"), 1034674200);
  EXPECT_EQ(fs::status(local / "b.jpg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(namesIn(local), std::vector<std::string>{"b.jpg"});

  // And back, onto a taken name: refused before anything is copied.
  writeText(remote / "b.jpg", "other");
  EXPECT_TRUE(moveFile(local / "b.jpg", remote / "b.jpg").nameTaken());
  EXPECT_EQ(readText(remote / "b.jpg"), "other");
  EXPECT_TRUE(fs::exists(local / "b.jpg"));
}

TEST_F(CrossFileSystemTest, LinksAndPipesBetweenFileSystems) {
  writeText(remote / "target.jpg", "t");
  fs::create_symlink(remote / "target.jpg", remote / "link.jpg");
  const struct timespec times[2] = {{1034674200, 0}, {1034674200, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (remote / "link.jpg").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  ASSERT_TRUE(moveFile(remote / "link.jpg", local / "link.jpg").ok());
  EXPECT_TRUE(fs::is_symlink(local / "link.jpg"));
  EXPECT_EQ(fs::read_symlink(local / "link.jpg"), remote / "target.jpg");
  EXPECT_FALSE(fs::exists(fs::symlink_status(remote / "link.jpg")));
  struct stat link {};
  ASSERT_EQ(::lstat((local / "link.jpg").c_str(), &link), 0);
  EXPECT_EQ(link.st_mtim.tv_sec, 1034674200);

  // A pipe is not copied (and does not stall the move); it stays.
  ASSERT_EQ(::mkfifo((remote / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(moveFile(remote / "pipe", local / "pipe").code(), EXDEV);
  EXPECT_TRUE(fs::is_fifo(remote / "pipe"));
  EXPECT_EQ(namesIn(local), std::vector<std::string>{"link.jpg"});
}

TEST_F(CrossFileSystemTest, FoldersMoveBetweenFileSystems) {
  writeText(remote / "album/a.jpg", "a");
  writeText(remote / "album/sub/b.jpg", std::string(100000, 'b'));
  {
    FaultyCalls calls;
    calls.step = Step::CopyData;
    calls.error = ENOSPC;
    ScopedSyscalls scoped(calls);
    EXPECT_EQ(moveFile(remote / "album", local / "album").code(), ENOSPC);
    EXPECT_TRUE(namesIn(local).empty());
    EXPECT_EQ(readText(remote / "album/a.jpg"), "a");
  }
  ASSERT_TRUE(moveFile(remote / "album", local / "album").ok());
  EXPECT_EQ(readText(local / "album/a.jpg"), "a");
  EXPECT_EQ(readText(local / "album/sub/b.jpg"), std::string(100000, 'b'));
  EXPECT_FALSE(fs::exists(remote / "album"));
}

// Each step of the path between file systems failing: the source stays
// whole and no partial copy is left anywhere.
TEST_F(CrossFileSystemTest, FailureAtEachStepLosesNothing) {
  const std::vector<Fault> faults = copyStepsAnd({{.step = Step::SyncNames, .error = EIO},
                                                  {.step = Step::Link, .error = EXDEV},
                                                  {.step = Step::UnlinkSource, .error = EACCES}});
  const std::string content(200000, 'c');
  writeText(remote / "a.jpg", content);
  for (const Fault& f : faults) {
    SCOPED_TRACE(static_cast<int>(f.step));
    FaultyCalls calls(f, (remote / "a.jpg").string());
    ScopedSyscalls scoped(calls);
    EXPECT_EQ(moveFile(remote / "a.jpg", local / "a.jpg").code(), f.error);
    EXPECT_EQ(readText(remote / "a.jpg"), content);
    EXPECT_TRUE(namesIn(local).empty());
  }
}

TEST_F(FileTransferTest, InjectedCrossDeviceRenameTakesTheCopyPath) {
  FaultyCalls calls;
  calls.step = Step::RenameFirst;
  calls.error = EXDEV;
  ScopedSyscalls scoped(calls);
  writeText(src / "a.jpg", "photo");
  setModified(src / "a.jpg", 1034674200);
  ASSERT_TRUE(moveFile(src / "a.jpg", dst / "a.jpg").ok());
  EXPECT_FALSE(fs::exists(src / "a.jpg"));
  EXPECT_EQ(readText(dst / "a.jpg"), "photo");
  EXPECT_EQ(modified(dst / "a.jpg"), 1034674200);
}

TEST_F(FileTransferTest, SourceVanishingAfterTheCopyKeepsTheCopy) {
  writeText(src / "a.jpg", "photo");
  // The first unlink of the source fails as if somebody had removed it.
  struct Vanishing : FaultyCalls {
    int unlinkAt(int dir, const char* path, int flags) override {
      if (isSource(dir, path)) {
        Syscalls::unlinkAt(dir, path, flags);
        errno = ENOENT;
        return -1;
      }
      return FaultyCalls::unlinkAt(dir, path, flags);
    }
  } vanishing;
  vanishing.step = Step::RenameFirst;
  vanishing.error = EXDEV;
  vanishing.source = (src / "a.jpg").string();
  ScopedSyscalls scoped(vanishing);
  // Said, not taken for a move: the copy is the only one left, and stays.
  ASSERT_EQ(moveFile(src / "a.jpg", dst / "a.jpg").code(), ENOENT);
  EXPECT_EQ(readText(dst / "a.jpg"), "photo");
}

TEST_F(FileTransferTest, CopyFollowsLinksAndKeepsDanglingOnesAsLinks) {
  writeText(src / "target.jpg", "t");
  fs::create_symlink(src / "target.jpg", src / "link.jpg");
  fs::create_symlink(src / "nowhere.jpg", src / "dangling.jpg");
  ASSERT_TRUE(copyFile(src / "link.jpg", dst / "a.jpg").ok());
  EXPECT_FALSE(fs::is_symlink(dst / "a.jpg"));
  EXPECT_EQ(readText(dst / "a.jpg"), "t");
  ASSERT_TRUE(copyFile(src / "dangling.jpg", dst / "b.jpg").ok());
  EXPECT_EQ(fs::read_symlink(dst / "b.jpg"), src / "nowhere.jpg");
  ASSERT_EQ(::mkfifo((src / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(copyFile(src / "pipe", dst / "pipe").code(), EINVAL);
  EXPECT_EQ(namesIn(dst), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(FileTransferTest, FoldersAreCopiedWholeOrNotAtAll) {
  writeText(src / "album/a.jpg", "a");
  writeText(src / "album/sub/b.jpg", "b");
  fs::create_symlink("a.jpg", src / "album/link.jpg");
  setModified(src / "album/a.jpg", 1034674200);
  ASSERT_EQ(fileOperation(FO_COPY, src.string() + "/album/", dst.string() + "/", 0).code(), 0);
  EXPECT_EQ(readText(dst / "album/a.jpg"), "a");
  EXPECT_EQ(readText(dst / "album/sub/b.jpg"), "b");
  EXPECT_EQ(fs::read_symlink(dst / "album/link.jpg"), "a.jpg");
  EXPECT_EQ(modified(dst / "album/a.jpg"), 1034674200);
  EXPECT_EQ(readText(src / "album/sub/b.jpg"), "b");
  EXPECT_EQ(fileOperation(FO_COPY, src / "album", dst / "album", 0).code(), EEXIST);

  FaultyCalls calls;
  calls.step = Step::CopyData;
  calls.error = ENOSPC;
  ScopedSyscalls scoped(calls);
  EXPECT_EQ(copyFile(src / "album", dst / "album2").code(), ENOSPC);
  EXPECT_EQ(namesIn(dst), std::vector<std::string>{"album"});
}

TEST_F(FileTransferTest, OperationRulesWhereTheShellWouldAsk) {
  writeText(src / "a.jpg", "new");
  writeText(dst / "a.jpg", "old");
  FileOperationReport report;
  // Nobody answers: the taken name is kept, whatever the flags say.
  EXPECT_EQ(
      fileOperation(FO_MOVE, src / "a.jpg", dst / "a.jpg", FOF_NOCONFIRMATION, &report).code(),
      EEXIST);
  EXPECT_TRUE(report.targetExisted);
  EXPECT_EQ(readText(dst / "a.jpg"), "old");

  EXPECT_EQ(
      fileOperation(FO_COPY, src / "a.jpg", dst.string() + "/", FOF_RENAMEONCOLLISION, &report)
          .code(),
      0);
  EXPECT_EQ(report.finalPath, (dst / "a (2).jpg").string());
  EXPECT_EQ(readText(dst / "a (2).jpg"), "new");

  // A missing folder is made only when no question would be asked.
  EXPECT_EQ(fileOperation(FO_MOVE, src / "a.jpg", dst / "sub/deeper/a.jpg", FOF_SILENT).code(),
            ENOENT);
  EXPECT_FALSE(fs::exists(dst / "sub"));
  EXPECT_EQ(
      fileOperation(FO_MOVE, src / "a.jpg", dst / "sub/deeper/a.jpg", FOF_NOCONFIRMMKDIR).code(),
      0);
  EXPECT_EQ(readText(dst / "sub/deeper/a.jpg"), "new");

  EXPECT_EQ(fileOperation(FO_RENAME, dst / "sub/deeper/a.jpg", dst / "sub/deeper/b.jpg", 0).code(),
            0);
  EXPECT_EQ(fileOperation(FO_DELETE, dst / "sub/", "", 0).code(), 0);
  EXPECT_FALSE(fs::exists(dst / "sub"));

  // Deleting a link to a folder, even written with a separator, spares the folder.
  writeText(src / "keep/inside.txt", "inside");
  fs::create_directory_symlink(src / "keep", dst / "link");
  EXPECT_EQ(fileOperation(FO_DELETE, dst.string() + "/link/", "", 0).code(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dst / "link")));
  EXPECT_EQ(readText(src / "keep/inside.txt"), "inside");
}

// A file that cannot be removed stops the removal of its tree, says which
// it was, and the rest stays.
TEST_F(FileTransferTest, AFolderTreeThatCannotBeRemovedWhollyStays) {
  writeText(dst / "album/sub/b.jpg", "b");
  struct Refusing : Syscalls {
    int unlinkAt(int dirFd, const char* path, int flags) override {
      if (std::string(path) != "b.jpg") return Syscalls::unlinkAt(dirFd, path, flags);
      errno = EACCES;
      return -1;
    }
  } refusing;
  ScopedSyscalls scoped(refusing);
  const OsError e = fileOperation(FO_DELETE, dst / "album", "", 0);
  EXPECT_EQ(e.code(), EACCES);
  EXPECT_EQ(e.path(), (dst / "album/sub/b.jpg").string());
  EXPECT_EQ(readText(dst / "album/sub/b.jpg"), "b");
}

TEST_F(FileTransferTest, TrashFollowsTheFreedesktopLayout) {
  env.setVar("XDG_DATA_HOME", (env.root() / "data").string());
  writeText(src / "a b.jpg", "photo");
  writeText(src / "again/a b.jpg", "second");
  ASSERT_EQ(moveToTrash(src / "a b.jpg").code(), 0);
  ASSERT_EQ(moveToTrash(src / "again/a b.jpg").code(), 0);
  const fs::path trash = env.root() / "data/Trash";
  EXPECT_EQ(readText(trash / "files/a b.jpg"), "photo");
  EXPECT_EQ(readText(trash / "files/a b.jpg.2"), "second");
  const std::string info = readText(trash / "info/a b.jpg.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u);
  EXPECT_NE(info.find("/src/a%20b.jpg\nDeletionDate="), std::string::npos);
  EXPECT_EQ(moveToTrash(src / "missing").code(), ENOENT);
}

// What mv keeps between file systems, and cp -p within one, plus extended
// attributes (a browser's "where from", desktop tags) and holes: a sparse
// file stays sparse.
TEST_F(CrossFileSystemTest, MovesAndCopiesKeepOwnerModeTimesAttributesAndHoles) {
  struct Row {
    const char* name;
    bool copy;
    fs::path from;
    fs::path to;
  };
  const Row rows[] = {{"move across", false, remote / "a.jpg", local / "a.jpg"},
                      {"move back", false, local / "b.jpg", remote / "b.jpg"},
                      {"copy", true, local / "c.jpg", local / "d.jpg"},
                      {"copy across", true, remote / "e.jpg", local / "e.jpg"}};
  constexpr off_t kSize = 8 << 20;
  const std::string url = "https://example.org/a.jpg";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    {
      UniqueFd fd(::open(row.from.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
      ASSERT_TRUE(fd.valid());
      ASSERT_EQ(::pwrite(fd.get(), "head", 4, 0), 4);
      ASSERT_EQ(::pwrite(fd.get(), "tail", 4, kSize - 4), 4);
    }
    if (::setxattr(row.from.c_str(), "user.xdg.origin.url", url.data(), url.size(), 0) != 0)
      GTEST_SKIP() << "no user attributes on " << row.from << ": " << std::strerror(errno);
    ASSERT_EQ(::chown(row.from.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(row.from.c_str(), 0640), 0);
    setModified(row.from, 1034674200);

    ASSERT_TRUE((row.copy ? copyFile(row.from, row.to) : moveFile(row.from, row.to)).ok());
    EXPECT_EQ(fs::exists(row.from), row.copy);
    struct stat st {};
    ASSERT_EQ(::stat(row.to.c_str(), &st), 0);
    const std::string content = readText(row.to);
    ASSERT_EQ(content.size(), static_cast<size_t>(kSize));
    EXPECT_EQ(content.substr(0, 4), "head");
    EXPECT_EQ(content.substr(kSize - 4), "tail");
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1034674200);
    std::string value(100, '\0');
    const ssize_t n = ::getxattr(row.to.c_str(), "user.xdg.origin.url", value.data(), value.size());
    ASSERT_GE(n, 0) << std::strerror(errno);
    EXPECT_EQ(value.substr(0, static_cast<size_t>(n)), url);
  }
}

// An attribute the destination refuses (not supported, not permitted) is
// left behind; the file is still moved.
TEST_F(FileTransferTest, AttributesTheDestinationRefusesAreLeftBehind) {
  struct Refusing : FaultyCalls {
    int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) override {
      if (std::string(name) == "user.kept")
        return Syscalls::fsetxattr(fd, name, value, size, flags);
      errno = std::string(name) == "user.refused" ? ENOTSUP : EPERM;
      return -1;
    }
  } refusing;
  refusing.step = Step::RenameFirst;
  refusing.error = EXDEV;
  writeText(src / "a.jpg", "photo");
  for (const char* name : {"user.refused", "user.forbidden", "user.kept"})
    ASSERT_EQ(::setxattr((src / "a.jpg").c_str(), name, "v", 1, 0), 0);
  ScopedSyscalls scoped(refusing);
  ASSERT_TRUE(moveFile(src / "a.jpg", dst / "a.jpg").ok());
  char list[64] = {};
  const ssize_t n = ::listxattr((dst / "a.jpg").c_str(), list, sizeof list);
  EXPECT_EQ(std::string(list, static_cast<size_t>(std::max<ssize_t>(n, 0))),
            std::string("user.kept\0", 10));
  EXPECT_FALSE(fs::exists(src / "a.jpg"));
}

// On a file system that can share blocks (btrfs, on a loop-mounted image
// made by the test), a copy is a reflink: instant, no second set of blocks.
TEST_F(FileTransferTest, CopyOnBtrfsSharesTheBlocks) {
  const fs::path image = env.root() / "btrfs.img";
  const fs::path mountPoint = env.root() / "btrfs";
  fs::create_directories(mountPoint);
  if (std::system(("truncate -s 128M '" + image.string() + "' && mkfs.btrfs -q '" + image.string() +
                   "' >/dev/null 2>&1")
                      .c_str()) != 0)
    GTEST_SKIP() << "mkfs.btrfs (btrfs-progs) is missing";
  if (std::system(
          ("mount -o loop '" + image.string() + "' '" + mountPoint.string() + "' 2>/dev/null")
              .c_str()) != 0)
    GTEST_SKIP() << "cannot loop-mount a btrfs image here";
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mountPoint};

  std::string content(1 << 20, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 % 251);
  writeText(mountPoint / "a.jpg", content);
  ASSERT_TRUE(copyFile(mountPoint / "a.jpg", mountPoint / "b.jpg").ok());
  EXPECT_EQ(readText(mountPoint / "b.jpg"), content);

  UniqueFd fd(::open((mountPoint / "b.jpg").c_str(), O_RDONLY));
  ASSERT_TRUE(fd.valid());
  constexpr unsigned kExtents = 8;
  std::vector<uint64_t> buffer((sizeof(fiemap) + kExtents * sizeof(fiemap_extent)) / 8 + 1);
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  ASSERT_EQ(::ioctl(fd.get(), FS_IOC_FIEMAP, map), 0) << std::strerror(errno);
  ASSERT_GT(map->fm_mapped_extents, 0u);
  for (unsigned i = 0; i < map->fm_mapped_extents; ++i)
    EXPECT_TRUE(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) << "extent " << i;
}

// The destination folder on its own: how a batch ends.
class DestinationFolderTest : public CrossFileSystemTest {
 protected:
  std::vector<std::string> putRemote(int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
      paths.push_back((remote / ("f" + std::to_string(i) + ".jpg")).string());
      writeText(paths.back(), std::string(100, static_cast<char>('a' + i)));
    }
    return paths;
  }
};

// A batch is flushed as soon as one bound is reached: so many files, so
// many bytes, or so much time since its first file. Its sources go at the
// next flush, which makes the names given after the first one durable.
TEST_F(DestinationFolderTest, ABatchEndsAtItsFirstBound) {
  struct Clocked : Syscalls {
    int64_t t = 0;
    int syncs = 0;
    int64_t monotonicMilliseconds() override { return t; }
    int syncfs(int fd) override {
      ++syncs;
      return Syscalls::syncfs(fd);
    }
  };
  struct Row {
    const char* name;
    BatchLimits limits;
    int64_t millisecondsPerFile;
    std::vector<int> syncsAfterEachMove;
    std::vector<int> sourcesLeftAfterEachMove;
  };
  const Row rows[] = {{"two files", {2, 1u << 30, 1000000}, 0, {0, 1, 1, 2, 2}, {5, 5, 5, 3, 3}},
                      {"250 bytes", {100, 250, 1000000}, 0, {0, 0, 1, 1, 1}, {5, 5, 5, 5, 5}},
                      {"one second", {100, 1u << 30, 1000}, 400, {0, 0, 0, 1, 1}, {5, 5, 5, 5, 5}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::string> sources = putRemote(5);
    fs::remove_all(local);
    fs::create_directories(local);
    Clocked calls;
    ScopedSyscalls scoped(calls);
    DestinationFolder folder;
    ASSERT_EQ(folder.open(local.string()).code(), 0);
    folder.setBatchLimits(row.limits);
    std::vector<int> syncs, sourcesLeft;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      ASSERT_EQ(folder.move(sources[i], onlyName("n" + std::to_string(i))).code(), 0);
      syncs.push_back(calls.syncs);
      sourcesLeft.push_back(static_cast<int>(namesIn(remote).size()));
      calls.t += row.millisecondsPerFile;
    }
    EXPECT_EQ(syncs, row.syncsAfterEachMove);
    EXPECT_EQ(sourcesLeft, row.sourcesLeftAfterEachMove);
    ASSERT_EQ(folder.settle().code(), 0);
    EXPECT_TRUE(fs::is_empty(remote));
    EXPECT_EQ(namesIn(local), (std::vector<std::string>{"n0", "n1", "n2", "n3", "n4"}));
  }
}

// A copy gets its name only after a flush has put its contents on disk, so
// that a power cut leaves no short file under a name; a batch of copies
// costs one flush, and the copies of a run cut short are named too. The
// last flush makes the last names durable.
TEST_F(DestinationFolderTest, CopiesAreNamedOnlyAfterTheirContentsAreFlushed) {
  const std::vector<std::string> sources = putRemote(3);
  testing::RecordedCalls calls;
  ScopedSyscalls scoped(calls);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(local.string()).code(), 0);
  folder.setBatchLimits({.files = 2});
  std::vector<std::size_t> namedSoFar;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    ASSERT_EQ(folder.copy(sources[i], onlyName("n" + std::to_string(i))).code(), 0);
    namedSoFar.push_back(namesIn(local).size());
  }
  EXPECT_EQ(namedSoFar, (std::vector<std::size_t>{0, 2, 2}));
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(calls.only("SN"), "SNNSNS");
  EXPECT_EQ(namesIn(local), (std::vector<std::string>{"n0", "n1", "n2"}));
  EXPECT_EQ(namesIn(remote).size(), 3u);
}

// Named temporaries as a run killed in the middle of a copy leaves them:
// made by the program in a child process that ends without cleaning up.
std::vector<std::string> leftoverTemporaries(const fs::path& folder, int count) {
  const std::vector<std::string> before = namesIn(folder);
  const fs::path source = folder.parent_path() / "leftover-source.jpg";
  writeText(source, "ownerless");
  const pid_t child = ::fork();
  if (child == 0) {
    struct NoUnnamedFiles : Syscalls {
      int openAt(int dir, const char* path, int flags, mode_t mode) override {
        if ((flags & O_TMPFILE) != O_TMPFILE) return Syscalls::openAt(dir, path, flags, mode);
        errno = EOPNOTSUPP;
        return -1;
      }
    } calls;
    ScopedSyscalls scoped(calls);
    DestinationFolder destination;
    if (destination.open(folder.string())) ::_exit(1);
    for (int i = 0; i < count; ++i)
      if (destination.copy(source.string(), onlyName("never" + std::to_string(i)))) ::_exit(2);
    ::_exit(0);
  }
  int status = -1;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  std::vector<std::string> made;
  for (const std::string& name : namesIn(folder))
    if (std::find(before.begin(), before.end(), name) == before.end()) made.push_back(name);
  EXPECT_EQ(made.size(), static_cast<size_t>(count));
  return made;
}

// Tells DestinationFolder that two minutes have passed.
struct Later : Syscalls {
  std::time_t now() override { return Syscalls::now() + 120; }
};

// Temporaries of earlier runs go once their owner is gone: unlocked and
// older than a minute (a new one may not be locked yet). Anything else
// stays: a locked one, a young one, a folder, other names.
TEST_F(FileTransferTest, OnlyTemporariesWhoseOwnerIsGoneAreRemoved) {
  const std::vector<std::string> left = leftoverTemporaries(dst, 3);
  ASSERT_EQ(left.size(), 3u);
  const std::string &ownerless = left[0], &owned = left[1], &folderName = left[2];
  writeText(dst / "other.part", "user's");
  fs::remove(dst / folderName);
  fs::create_directories(dst / folderName);
  UniqueFd owner(::open((dst / owned).c_str(), O_RDONLY));
  ASSERT_EQ(::flock(owner.get(), LOCK_EX), 0);
  const std::vector<std::string> all = namesIn(dst);
  {
    DestinationFolder folder;
    ASSERT_EQ(folder.open(dst.string()).code(), 0);
    EXPECT_EQ(namesIn(dst), all);
  }
  Later later;
  ScopedSyscalls scoped(later);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(dst.string()).code(), 0);
  std::vector<std::string> expected = {owned, folderName, "other.part"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(dst), expected);
  EXPECT_FALSE(fs::exists(dst / ownerless));
}

// Only a name that carries the program's check is taken for a temporary of
// its own: a user's files that merely look like one stay, however old, and
// so does a name of ours with its check altered by hand.
TEST_F(FileTransferTest, AUsersLookAlikesOfTemporariesAreNeverRemoved) {
  const std::string ours = leftoverTemporaries(dst, 1).at(0);
  std::string forged = ours;
  char& lastDigit = forged[forged.size() - std::string(".part").size() - 1];
  lastDigit = lastDigit == '0' ? '1' : '0';
  const std::vector<std::string> users = {".m_sifter-notes.part", ".m_sifter-2024-backup.part",
                                          ".m_sifter-1-1.part", forged};
  for (const std::string& name : users) writeText(dst / name, "the user's own");
  Later later;
  ScopedSyscalls scoped(later);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(dst.string()).code(), 0);
  std::vector<std::string> expected = users;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(dst), expected);
  for (const std::string& name : users) EXPECT_EQ(readText(dst / name), "the user's own") << name;
}

}  // namespace
}  // namespace msifter::platform
