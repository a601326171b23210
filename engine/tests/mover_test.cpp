// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mover.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <tuple>

#include "engine/run.h"
#include "fixed_clock.h"
#include "isolated_test.h"
#include "platform/syscalls.h"
#include "recorded_calls.h"
#include "scratch_mount.h"
#include "temp_env.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::readText;

// 2002-10-15 09:30:00, read as local time without a time zone.
using testing::FixedClock;
using testing::kOctober15;

using testing::namesIn;

// The three ways a file reaches the destination.
struct TransferKind {
  const char* name;
  bool across;  // from another file system
  bool copy;
};
constexpr TransferKind kTransferKinds[] = {{.name = "move", .across = false, .copy = false},
                                           {.name = "move across", .across = true, .copy = false},
                                           {.name = "copy", .across = false, .copy = true}};

class MoverTest : public testing::TransferTestBase {
 protected:
  std::string put(const std::string& name, const std::string& text = "x") {
    std::ofstream(src / name, std::ios::binary) << text;
    return (src / name).string();
  }
  std::vector<std::string> destinationNames() { return namesIn(dst); }
  // Before the next row: an empty destination, serial numbers from 0.
  void emptyDestination() {
    fs::remove_all(dst);
    fs::create_directories(dst);
  }
};

TEST_F(MoverTest, NewNames) {
  struct Row {
    const char* source;
    RenameMethod method = RenameMethod::SerialNumber;
    bool extFix = false;
    const char* expected;
  };
  constexpr RenameMethod DateTime = RenameMethod::DateTime;
  const Row rows[] = {
      {.source = "photo.JPG", .method = DateTime, .expected = "20021015093000_00000_photo.JPG"},
      {.source = "photo.JPG",
       .method = DateTime,
       .extFix = true,
       .expected = "20021015093000_00000_photo.jpg"},
      {.source = "photo.JPG", .expected = "0000000000_photo.JPG"},
      {.source = "photo.JPEG", .extFix = true, .expected = "0000000000_photo.jpg"},
      {.source = "photo.Jpeg", .extFix = true, .expected = "0000000000_photo.jpg"},
      {.source = "photo.JPEG", .expected = "0000000000_photo.JPEG"},
      {.source = "photo.Jpe", .extFix = true, .expected = "0000000000_photo.jpe"},
      {.source = "photo.jpeg.PNG", .extFix = true, .expected = "0000000000_photo.jpeg.png"},
      {.source = "p.ＪＰＧ", .extFix = true, .expected = "0000000000_p.ｊｐｇ"},
      {.source = "p.ＪＰＥＧ", .extFix = true, .expected = "0000000000_p.ｊｐｅｇ"},
      {.source = "p.ÄΣЖ", .extFix = true, .expected = "0000000000_p.äσж"},
      {.source = "readme", .extFix = true, .expected = "0000000000_readme"},
      {.source = "archive.tar.gz", .expected = "0000000000_archive.tar.gz"},
      {.source = "\xff\xfe name.TIF", .extFix = true, .expected = "0000000000_\xff\xfe name.tif"},
  };
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    emptyDestination();
    options.renameMethod = row.method;
    options.extFix = row.extFix;
    const std::string source = put(row.source, row.source);
    ASSERT_TRUE(mMoveFile({source}, options));
    EXPECT_EQ(destinationNames(), std::vector<std::string>{row.expected});
    EXPECT_EQ(readText(dst / row.expected), row.source);
    EXPECT_FALSE(fs::exists(source));
  }
}

// With the lengths the search found, a source is not looked at again to be
// skipped: one still as found is left where it is, one changed since goes.
TEST_F(MoverTest, SkipIdenticalTrustsTheSearchedLengthOnlyWhileItHolds) {
  struct Skips : TransferObserver {
    void fileTransferred(const TransferredFile&) override {}
    void fileSkipped(const std::string& source, const std::string&) override {
      skipped.push_back(source);
    }
    std::vector<std::string> skipped;
  } seen;
  std::ofstream(dst / "old.jpg") << "same";
  const std::vector<std::string> sources = {put("a.jpg", "same"), put("b.jpg", "same")};
  const std::vector<int64_t> found = {4, 4};
  std::ofstream(sources[1], std::ios::app) << " and more";
  const MoveExtras extras{.observer = &seen, .skipIdentical = true, .sourceSizes = &found};
  ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
  EXPECT_EQ(seen.skipped, std::vector<std::string>{sources[0]});
  EXPECT_TRUE(fs::exists(sources[0]));
  EXPECT_FALSE(fs::exists(sources[1]));
  EXPECT_EQ(destinationNames().size(), 2u);
}

TEST_F(MoverTest, PerSecondCounterAndSerialNumbersAdvance) {
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  // Three in one second, then one in the next.
  std::vector<std::string> sources = {put("a.jpg"), put("b.jpg"), put("c.jpg")};
  ASSERT_TRUE(mMoveFile(sources, options));
  clock.t += 1;
  ASSERT_TRUE(mMoveFile({put("d.jpg")}, options));
  EXPECT_EQ(destinationNames(),
            (std::vector<std::string>{"20021015093000_00000_a.jpg", "20021015093000_00001_b.jpg",
                                      "20021015093000_00002_c.jpg", "20021015093001_00000_d.jpg"}));

  emptyDestination();
  options.renameMethod = RenameMethod::SerialNumber;
  int32_t serialNumber = 2147483647;
  ASSERT_TRUE(mMoveFile({put("a.jpg"), put("b.jpg")}, options,
                        MoveExtras{.serialNumber = &serialNumber}, nullptr));
  EXPECT_EQ(destinationNames(), (std::vector<std::string>{"0000000000_b.jpg", "2147483647_a.jpg"}));
  EXPECT_EQ(serialNumber, 1);
}

// The second changes between two files of one call: the counter starts
// again at 00000 with the new stamp.
TEST_F(MoverTest, PerSecondCounterRestartsWhenTheSecondChangesWithinOneCall) {
  struct Ticking : FixedClock {
    int stamps = 0;
    std::time_t now() override { return ++stamps > 2 ? t + 1 : t; }
  } clock;
  platform::ScopedSyscalls scoped(clock);
  ASSERT_TRUE(mMoveFile({put("a.jpg"), put("b.jpg"), put("c.jpg"), put("d.jpg")}, options));
  EXPECT_EQ(destinationNames(),
            (std::vector<std::string>{"20021015093000_00000_a.jpg", "20021015093000_00001_b.jpg",
                                      "20021015093001_00000_c.jpg", "20021015093001_00001_d.jpg"}));
}

TEST_F(MoverTest, TakenSerialNameIsSkippedAndUsedUp) {
  std::ofstream(dst / "0000000000_photo.jpg") << "already here";
  options.renameMethod = RenameMethod::SerialNumber;
  ASSERT_TRUE(mMoveFile({put("photo.jpg", "new"), put("other.png", "other")}, options));
  EXPECT_EQ(readText(dst / "0000000000_photo.jpg"), "already here");
  EXPECT_EQ(readText(dst / "0000000001_photo.jpg"), "new");
  EXPECT_EQ(readText(dst / "0000000002_other.png"), "other");
  EXPECT_EQ(env.errorLog(), "");
}

// A file that appears under the new name while the transfer runs is kept;
// the mover goes on with the next number.
TEST_F(MoverTest, NameTakenMeanwhileIsNotOverwritten) {
  struct Intruder : platform::Syscalls {
    bool done = false;
    fs::path folder;
    void intrude(const char* name) {
      if (!done && std::string(name) == "0000000000_photo.jpg") {
        done = true;
        std::ofstream(folder / name) << "intruder";
      }
    }
    int renameAt(int fromDir, const char* from, int toDir, const char* to,
                 unsigned flags) override {
      intrude(to);
      return Syscalls::renameAt(fromDir, from, toDir, to, flags);
    }
    int linkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
      intrude(to);
      return Syscalls::linkAt(fromDir, from, toDir, to, flags);
    }
  };
  options.renameMethod = RenameMethod::SerialNumber;
  for (const bool copy : {false, true}) {
    SCOPED_TRACE(copy ? "copy" : "move");
    emptyDestination();
    options.copyFiles = copy;
    Intruder intruder;
    intruder.folder = dst;
    platform::ScopedSyscalls scoped(intruder);
    ASSERT_TRUE(mMoveFile({put("photo.jpg", "mine")}, options));
    EXPECT_EQ(readText(dst / "0000000000_photo.jpg"), "intruder");
    EXPECT_EQ(readText(dst / "0000000001_photo.jpg"), "mine");
    EXPECT_EQ(destinationNames().size(), 2u);
  }
}

TEST_F(MoverTest, SameSecondClashTakesTheNextCounter) {
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  std::ofstream(dst / "20021015093000_00000_photo.jpg") << "earlier run";
  options.copyFiles = true;
  ASSERT_TRUE(mMoveFile({put("photo.jpg", "new"), put("next.jpg", "next")}, options));
  EXPECT_EQ(readText(dst / "20021015093000_00000_photo.jpg"), "earlier run");
  EXPECT_EQ(readText(dst / "20021015093000_00001_photo.jpg"), "new");
  EXPECT_EQ(readText(dst / "20021015093000_00002_next.jpg"), "next");
}

// Every name of one second is taken: the counter runs to 99998, then the
// mover waits for the next second instead of failing the run.
TEST_F(MoverTest, ExhaustedCounterWaitsForTheNextSecond) {
  struct Crowded : FixedClock {
    long calls = 0;
    std::time_t now() override { return ++calls > 100000 ? t + 1 : t; }
    int renameAt(int fromDir, const char* from, int toDir, const char* to,
                 unsigned flags) override {
      if (std::string(to).starts_with("20021015093000_")) {
        errno = EEXIST;
        return -1;
      }
      return Syscalls::renameAt(fromDir, from, toDir, to, flags);
    }
  } clock;
  platform::ScopedSyscalls scoped(clock);
  ASSERT_TRUE(mMoveFile({put("photo.jpg")}, options));
  EXPECT_EQ(destinationNames(), std::vector<std::string>{"20021015093001_00000_photo.jpg"});
}

TEST_F(MoverTest, CopyKeepsTheSourceAndItsTime) {
  options.copyFiles = true;
  options.renameMethod = RenameMethod::SerialNumber;
  const std::string source = put("photo.jpg", "photo");
  const struct timespec times[2] = {{kOctober15, 0}, {kOctober15, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
  ASSERT_TRUE(mMoveFile({source}, options));
  EXPECT_EQ(readText(source), "photo");
  EXPECT_EQ(readText(dst / "0000000000_photo.jpg"), "photo");
  struct stat st {};
  ASSERT_EQ(::stat((dst / "0000000000_photo.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, kOctober15);
}

// From a memory file system into the build folder: the files arrive whole
// under their new names, the sources are gone, a taken name is skipped.
TEST_F(MoverTest, MovesBetweenFileSystems) {
  struct stat here {
  }, shm{};
  if (::stat(".", &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
    GTEST_SKIP() << "/dev/shm is not a second file system here";
  const fs::path remote = "/dev/shm/msifter-mover-" + std::to_string(::getpid());
  const fs::path local = fs::current_path() / ("mover-xfs-" + std::to_string(::getpid()));
  fs::create_directories(remote);
  fs::create_directories(local);
  std::ofstream(remote / "a.jpg") << std::string(100000, 'a');
  std::ofstream(remote / "b.jpg") << "b";
  std::ofstream(local / "0000000000_a.jpg") << "kept";
  options.serverDir = remote.string();
  options.receiveDir = local.string();
  options.renameMethod = RenameMethod::SerialNumber;
  const bool moved = mMoveFile({(remote / "a.jpg").string(), (remote / "b.jpg").string()}, options);
  EXPECT_TRUE(moved);
  EXPECT_EQ(readText(local / "0000000000_a.jpg"), "kept");
  EXPECT_EQ(readText(local / "0000000001_a.jpg"), std::string(100000, 'a'));
  EXPECT_EQ(readText(local / "0000000002_b.jpg"), "b");
  EXPECT_TRUE(fs::is_empty(remote));
  fs::remove_all(remote);
  fs::remove_all(local);
}

TEST_F(MoverTest, StopsAtTheFirstFailureAndReportsIt) {
  options.renameMethod = RenameMethod::SerialNumber;
  const std::vector<std::string> sources = {put("a.jpg"), (src / "vanished.jpg").string(),
                                            put("c.jpg")};
  EXPECT_FALSE(mMoveFile(sources, options));
  EXPECT_EQ(destinationNames(), std::vector<std::string>{"0000000000_a.jpg"});
  EXPECT_TRUE(fs::exists(src / "c.jpg"));
  const std::string log = env.errorLog();
  const auto wrapper = log.find("gMoveFile");
  ASSERT_NE(wrapper, std::string::npos);
  EXPECT_NE(log.find("mMoveFile", wrapper), std::string::npos);
}

TEST_F(MoverTest, EmptyListDoesNothing) {
  EXPECT_TRUE(mMoveFile({}, options));
  EXPECT_TRUE(destinationNames().empty());
}

// What happens to the destination folder while a run lasts, and what is left
// afterwards: a folder at its path, the first file in the folder moved aside.
struct DestinationChange {
  const char* name;
  std::function<void(const fs::path&)> change;  // none: unmounted
  bool pathRemains;
  bool firstFileAside;
};

// Makes a change as the second file's transfer begins: the first touch of
// it, by its path or by its name in its folder.
struct ChangeAtSecondFile : FixedClock {
  std::function<void()> change;
  std::string second;
  int looks = 0;
  void looking(const char* path) {
    if ((path == second || fs::path(second).filename() == path) && ++looks == 1) change();
  }
  int openAt(int dir, const char* path, int flags, mode_t mode) override {
    looking(path);
    return Syscalls::openAt(dir, path, flags, mode);
  }
  int lstat(const char* path, struct stat* out) override {
    looking(path);
    return Syscalls::lstat(path, out);
  }
  int stat(const char* path, struct stat* out) override {
    looking(path);
    return Syscalls::stat(path, out);
  }
  int open(const char* path, int flags, mode_t mode) override {
    looking(path);
    return Syscalls::open(path, flags, mode);
  }
  int renameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override {
    looking(from);
    return Syscalls::renameAt(fromDir, from, toDir, to, flags);
  }
};

// The destination the user chose is the only one: changed while the run
// lasts, it is neither made again nor followed elsewhere. The run fails;
// the files not on disk in the folder yet go back where they came from
// (unless they went with the folder).
TEST_F(MoverTest, DestinationChangedMidRunIsNeitherRecreatedNorFollowed) {
  const fs::path aside = env.root() / "aside";
  const fs::path elsewhere = env.root() / "elsewhere";
  const DestinationChange rows[] = {
      {.name = "removed",
       .change = [](const fs::path& d) { fs::remove_all(d); },
       .pathRemains = false,
       .firstFileAside = false},
      {.name = "renamed",
       .change = [&](const fs::path& d) { fs::rename(d, aside); },
       .pathRemains = false,
       .firstFileAside = true},
      {.name = "replaced by a link",
       .change =
           [&](const fs::path& d) {
             fs::rename(d, aside), fs::create_directory_symlink(elsewhere, d);
           },
       .pathRemains = true,
       .firstFileAside = true},
      {.name = "replaced by another folder",
       .change = [&](const fs::path& d) { fs::rename(d, aside), fs::create_directory(d); },
       .pathRemains = true,
       .firstFileAside = true},
      {.name = "unmounted", .change = nullptr, .pathRemains = true, .firstFileAside = false}};
  for (const bool copy : {false, true}) {
    for (const DestinationChange& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (copy ? ", copy" : ", move"));
      for (const fs::path& p : {src, dst, aside, elsewhere}) fs::remove_all(p);
      for (const fs::path& p : {src, dst, elsewhere}) fs::create_directories(p);
      std::optional<testing::ScratchMount> mount;
      fs::path target = dst;
      if (!row.change) {
        mount.emplace(env.root() / "mnt");
        if (!mount->mounted()) continue;  // needs root; the other rows still run
        target = mount->path();
      }
      ChangeAtSecondFile clock;
      clock.change = [&] { row.change ? row.change(target) : mount->detach(); };
      options.receiveDir = target.string();
      options.copyFiles = copy;
      const std::string a = put("a.jpg", "a");
      const std::string b = put("b.jpg", "b");
      clock.second = b;
      {
        platform::ScopedSyscalls scoped(clock);
        EXPECT_FALSE(mMoveFile({a, b}, options));
      }
      EXPECT_EQ(readText(b), "b");
      // The first file waited for its batch to settle: with its destination
      // changed, a rename is taken back and a copy dropped; a file removed
      // with the folder is gone with it.
      EXPECT_EQ(fs::exists(a), copy || row.pathRemains || row.firstFileAside);
      EXPECT_EQ(fs::exists(target), row.pathRemains);
      EXPECT_TRUE(!row.pathRemains || namesIn(target).empty());
      EXPECT_TRUE(namesIn(elsewhere).empty());
      EXPECT_TRUE(!row.firstFileAside || namesIn(aside).empty());
    }
  }
}

// A second file system (a memory one, mounted for the test) holds the sources.
class MoverAcrossTest : public MoverTest {
 protected:
  testing::ScratchMount mount{env.root() / "remote"};
  fs::path remote = mount.path();

  void SetUp() override {
    MoverTest::SetUp();
    if (!mount.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
    options.serverDir = remote.string();
    options.renameMethod = RenameMethod::SerialNumber;
  }
  std::string putRemote(const std::string& name, const std::string& content) {
    std::ofstream(remote / name, std::ios::binary) << content;
    return (remote / name).string();
  }
};

// Saves a newer version of `source` at one moment of its transfer.
enum class Save { ReplacedWhileRead, ChangedInPlaceWhileRead, ReplacedAfterCopy };
struct Saver : platform::Syscalls {
  Save how = Save::ReplacedWhileRead;
  std::string source;
  bool saved = false;
  void save(Save when) {
    if (saved || when != how) return;
    saved = true;
    if (how == Save::ChangedInPlaceWhileRead) {
      // Same file, same size: only its times tell.
      std::fstream(source, std::ios::in | std::ios::out | std::ios::binary) << "newer";
      return;
    }
    std::ofstream(source + ".new") << "newer";
    fs::rename(source + ".new", source);
  }
  int cloneFile(int outFd, int inFd) override {
    save(Save::ChangedInPlaceWhileRead);  // the copy's first look at the data
    return Syscalls::cloneFile(outFd, inFd);
  }
  int futimens(int fd, const struct timespec times[2]) override {
    save(Save::ReplacedWhileRead);
    return Syscalls::futimens(fd, times);
  }
  int syncfs(int fd) override {
    save(Save::ReplacedAfterCopy);
    return Syscalls::syncfs(fd);
  }
};

// A newer version saved over the source while the move runs is not lost:
// the source stays, and the run reports the file as failed. Saved while
// the source is read, whether as a new file or into the same one, no copy
// is made; saved after it was copied, the copy of the older version keeps
// its new name. Either way the run ends there: the files after it stay.
TEST_F(MoverAcrossTest, SourceSavedOverDuringTheMoveStays) {
  struct Row {
    const char* name;
    Save save;
    std::vector<std::string> destination;
  };
  const Row rows[] = {
      {.name = "replaced while it is read", .save = Save::ReplacedWhileRead, .destination = {}},
      {.name = "changed in place while it is read",
       .save = Save::ChangedInPlaceWhileRead,
       .destination = {}},
      {.name = "replaced after it was copied",
       .save = Save::ReplacedAfterCopy,
       .destination = {"0000000000_a.jpg"}}};
  const struct timespec earlier[2] = {{kOctober15, 0}, {kOctober15, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    emptyDestination();
    Saver saver;
    saver.how = row.save;
    const std::string a = putRemote("a.jpg", "older");
    ASSERT_EQ(::utimensat(AT_FDCWD, a.c_str(), earlier, 0), 0);
    const std::string b = putRemote("b.jpg", "b");
    saver.source = a;
    {
      platform::ScopedSyscalls scoped(saver);
      EXPECT_FALSE(mMoveFile({a, b}, options));
    }
    const bool whileRead = row.save != Save::ReplacedAfterCopy;
    EXPECT_TRUE(saver.saved);
    EXPECT_EQ(readText(a), "newer");
    EXPECT_EQ(destinationNames(), row.destination);
    if (!whileRead) {
      EXPECT_EQ(readText(dst / "0000000000_a.jpg"), "older");
    }
    EXPECT_EQ(readText(b), "b");
  }
  EXPECT_NE(env.errorLog().find("mMoveFile"), std::string::npos);
}

// The search listed a file; by its turn the name is a folder. Its tree was
// never searched, so nothing of it is moved or copied.
TEST_F(MoverAcrossTest, AnEntryThatIsAFolderByItsTurnIsNeverTransferred) {
  for (const TransferKind& row : kTransferKinds) {
    SCOPED_TRACE(row.name);
    const fs::path folder = (row.across ? remote : src) / "album";
    fs::create_directories(folder);
    std::ofstream(folder / "inside.jpg") << "inside";
    options.copyFiles = row.copy;
    EXPECT_FALSE(mMoveFile({folder.string()}, options));
    EXPECT_EQ(readText(folder / "inside.jpg"), "inside");
    EXPECT_TRUE(destinationNames().empty());
  }
}

// The guarantee that a source goes only once its copy is on disk costs one
// flush of the destination per batch (data, then names), not one per file,
// and one of the sources' file system once they are removed.
TEST_F(MoverAcrossTest, MovesAcrossAreFlushedPerBatchBeforeAnySourceGoes) {
  struct Counting : testing::RecordedCalls {
    std::string remote;
    std::vector<int> syncsAtRemoval;
    int unlinkAt(int dir, const char* path, int flags) override {
      struct stat folder {
      }, there{};
      if (::fstat(dir, &folder) == 0 && ::stat(remote.c_str(), &there) == 0 &&
          folder.st_dev == there.st_dev)
        syncsAtRemoval.push_back(count('S'));
      return RecordedCalls::unlinkAt(dir, path, flags);
    }
  } calls;
  calls.remote = remote.string();
  std::vector<std::string> sources;
  for (int i = 0; i < 5; ++i)
    sources.push_back(putRemote("f" + std::to_string(i) + ".jpg", std::string(1000 * i, 'x')));
  {
    platform::ScopedSyscalls scoped(calls);
    ASSERT_TRUE(mMoveFile(sources, options));
  }
  EXPECT_EQ(calls.count('F'), 0);
  EXPECT_EQ(calls.count('S'), 3);
  EXPECT_EQ(calls.syncsAtRemoval, std::vector<int>(5, 2));
  EXPECT_TRUE(fs::is_empty(remote));
  EXPECT_EQ(readText(dst / "0000000004_f4.jpg"), std::string(4000, 'x'));
}

// A failure in the middle of a batch: what was copied before it is settled
// (flushed, sources removed) before the run reports; the rest stays.
TEST_F(MoverAcrossTest, FailureMidBatchSettlesWhatWasCopiedFirst) {
  const std::vector<std::string> sources = {putRemote("a.jpg", "a"), putRemote("b.jpg", "b"),
                                            (remote / "vanished.jpg").string(),
                                            putRemote("d.jpg", "d")};
  EXPECT_FALSE(mMoveFile(sources, options));
  EXPECT_EQ(destinationNames(), (std::vector<std::string>{"0000000000_a.jpg", "0000000001_b.jpg"}));
  EXPECT_EQ(namesIn(remote), std::vector<std::string>{"d.jpg"});
  const std::string log = env.errorLog();
  const auto wrapper = log.find("gMoveFile");
  ASSERT_NE(wrapper, std::string::npos);
  EXPECT_NE(log.find("mMoveFile", wrapper), std::string::npos);

  // A flush that fails keeps every source, and no copy.
  struct FailingFlush : platform::Syscalls {
    int syncfs(int) override {
      errno = EIO;
      return -1;
    }
  } failing;
  emptyDestination();
  platform::ScopedSyscalls scoped(failing);
  EXPECT_FALSE(mMoveFile({(remote / "d.jpg").string()}, options));
  EXPECT_EQ(namesIn(remote), std::vector<std::string>{"d.jpg"});
  EXPECT_TRUE(destinationNames().empty());
}

// Each file is told to the observer once its transfer is complete and on
// disk: after the rename and a flush, after the copy got its name and that
// was flushed, after the source of a move between file systems is gone
// (its copy flushed, then its name, then its removal).
TEST_F(MoverAcrossTest, ObserverHearsOfEachFileWhenItIsComplete) {
  struct Recorder : TransferObserver, testing::RecordedCalls {
    std::vector<TransferredFile> files;
    std::vector<std::vector<int>> seen;  // source there, destination there, flushes
    void fileTransferred(const TransferredFile& f) override {
      files.push_back(f);
      // A batch of renames alone may be flushed through its folder.
      seen.push_back({fs::exists(fs::symlink_status(f.source)), fs::exists(f.destination),
                      count('S') + count('F')});
    }
  };

  const struct timespec times[2] = {{kOctober15, 0}, {kOctober15, 123}};
  for (const TransferKind& row : kTransferKinds) {
    SCOPED_TRACE(row.name);
    emptyDestination();
    options.copyFiles = row.copy;
    options.serverDir = (row.across ? remote : src).string();
    const std::string source = row.across ? putRemote("a.jpg", "12345") : put("a.jpg", "12345");
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    Recorder recorder;
    {
      platform::ScopedSyscalls scoped(recorder);
      ASSERT_TRUE(mMoveFile({source}, options, &recorder));
    }
    ASSERT_EQ(recorder.files.size(), 1u);
    const TransferredFile& f = recorder.files[0];
    struct stat made {};
    ASSERT_EQ(::stat(f.destination.c_str(), &made), 0);
    EXPECT_EQ(f.kind, row.copy ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved);
    EXPECT_EQ(f.source, source);
    EXPECT_EQ(f.destination, (dst / "0000000000_a.jpg").string());
    EXPECT_EQ(std::make_tuple(f.size, f.modifiedSeconds, f.modifiedNanoseconds),
              std::make_tuple(int64_t{5}, int64_t{kOctober15}, int32_t{123}));
    EXPECT_EQ(std::make_pair(f.device, f.inode),
              std::make_pair(uint64_t{made.st_dev}, uint64_t{made.st_ino}));
    EXPECT_EQ(recorder.seen[0], (std::vector<int>{row.copy, true,
                                                  row.copy     ? 2
                                                  : row.across ? 3
                                                               : 1}));
  }
}

}  // namespace
}  // namespace msifter::engine
