#include "engine/mover.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/run.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

// 2002-10-15 09:30:00, read as local time without a time zone.
constexpr std::time_t kOctober15 = 1034674200;

// A wall clock that stands still (or moves when told to).
struct FixedClock : platform::Syscalls {
  std::time_t t = kOctober15;
  std::time_t now() override { return t; }
  bool localTime(std::time_t when, std::tm& out) override { return ::gmtime_r(&when, &out) != nullptr; }
};

class MoverTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  fs::path src = env.root() / "src";
  fs::path dst = env.root() / "dst";
  TransferOptions options;

  void SetUp() override {
    fs::create_directories(src);
    fs::create_directories(dst);
    options.receiveDir = dst.string();
    runState() = RunState{};
  }
  std::string put(const std::string& name, const std::string& text = "x") {
    std::ofstream(src / name, std::ios::binary) << text;
    return (src / name).string();
  }
  std::vector<std::string> destinationNames() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dst)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(MoverTest, NewNames) {
  struct Row {
    const char* source;
    RenameMethod method;
    bool extFix;
    const char* expected;
  };
  const Row rows[] = {
      {"photo.JPG", RenameMethod::DateTime, false, "20021015093000_00000_photo.JPG"},
      {"photo.JPG", RenameMethod::DateTime, true, "20021015093000_00000_photo.jpg"},
      {"photo.JPG", RenameMethod::SerialNumber, false, "0000000000_photo.JPG"},
      {"photo.JPEG", RenameMethod::SerialNumber, true, "0000000000_photo.jpg"},
      {"photo.Jpeg", RenameMethod::SerialNumber, true, "0000000000_photo.jpg"},
      {"photo.JPEG", RenameMethod::SerialNumber, false, "0000000000_photo.JPEG"},
      {"photo.Jpe", RenameMethod::SerialNumber, true, "0000000000_photo.jpe"},
      {"photo.jpeg.PNG", RenameMethod::SerialNumber, true, "0000000000_photo.jpeg.png"},
      {"readme", RenameMethod::SerialNumber, true, "0000000000_readme"},
      {"archive.tar.gz", RenameMethod::SerialNumber, false, "0000000000_archive.tar.gz"},
      {"\xff\xfe name.TIF", RenameMethod::SerialNumber, true, "0000000000_\xff\xfe name.tif"},
  };
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    fs::remove_all(dst);
    fs::create_directories(dst);
    runState().serialNumber = 0;
    options.renameMethod = row.method;
    options.extFix = row.extFix;
    const std::string source = put(row.source, row.source);
    ASSERT_TRUE(mMoveFile({source}, options));
    EXPECT_EQ(destinationNames(), std::vector<std::string>{row.expected});
    EXPECT_EQ(text(dst / row.expected), row.source);
    EXPECT_FALSE(fs::exists(source));
  }
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

  fs::remove_all(dst);
  fs::create_directories(dst);
  options.renameMethod = RenameMethod::SerialNumber;
  runState().serialNumber = 2147483647;
  ASSERT_TRUE(mMoveFile({put("a.jpg"), put("b.jpg")}, options));
  EXPECT_EQ(destinationNames(), (std::vector<std::string>{"0000000000_b.jpg", "2147483647_a.jpg"}));
  EXPECT_EQ(runState().serialNumber, 1);
}

TEST_F(MoverTest, TakenSerialNameIsSkippedAndUsedUp) {
  std::ofstream(dst / "0000000000_photo.jpg") << "already here";
  options.renameMethod = RenameMethod::SerialNumber;
  ASSERT_TRUE(mMoveFile({put("photo.jpg", "new"), put("other.png", "other")}, options));
  EXPECT_EQ(text(dst / "0000000000_photo.jpg"), "already here");
  EXPECT_EQ(text(dst / "0000000001_photo.jpg"), "new");
  EXPECT_EQ(text(dst / "0000000002_other.png"), "other");
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
    int renameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override {
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
    fs::remove_all(dst);
    fs::create_directories(dst);
    runState().serialNumber = 0;
    options.copyFiles = copy;
    Intruder intruder;
    intruder.folder = dst;
    platform::ScopedSyscalls scoped(intruder);
    ASSERT_TRUE(mMoveFile({put("photo.jpg", "mine")}, options));
    EXPECT_EQ(text(dst / "0000000000_photo.jpg"), "intruder");
    EXPECT_EQ(text(dst / "0000000001_photo.jpg"), "mine");
    EXPECT_EQ(destinationNames().size(), 2u);
  }
}

TEST_F(MoverTest, SameSecondClashTakesTheNextCounter) {
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  std::ofstream(dst / "20021015093000_00000_photo.jpg") << "earlier run";
  options.copyFiles = true;
  ASSERT_TRUE(mMoveFile({put("photo.jpg", "new"), put("next.jpg", "next")}, options));
  EXPECT_EQ(text(dst / "20021015093000_00000_photo.jpg"), "earlier run");
  EXPECT_EQ(text(dst / "20021015093000_00001_photo.jpg"), "new");
  EXPECT_EQ(text(dst / "20021015093000_00002_next.jpg"), "next");
}

// Every name of one second is taken: the counter runs to 99998, then the
// mover waits for the next second instead of failing the run.
TEST_F(MoverTest, ExhaustedCounterWaitsForTheNextSecond) {
  struct Crowded : FixedClock {
    long calls = 0;
    std::time_t now() override { return ++calls > 100000 ? t + 1 : t; }
    int renameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override {
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
  EXPECT_EQ(text(source), "photo");
  EXPECT_EQ(text(dst / "0000000000_photo.jpg"), "photo");
  struct stat st {};
  ASSERT_EQ(::stat((dst / "0000000000_photo.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, kOctober15);
}

// From a memory file system into the build folder: the files arrive whole
// under their new names, the sources are gone, a taken name is skipped.
TEST_F(MoverTest, MovesBetweenFileSystems) {
  struct stat here {}, shm {};
  if (::stat(".", &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
    GTEST_SKIP() << "/dev/shm is not a second file system here";
  const fs::path remote = "/dev/shm/msifter-mover-" + std::to_string(::getpid());
  const fs::path local = fs::current_path() / ("mover-xfs-" + std::to_string(::getpid()));
  fs::create_directories(remote);
  fs::create_directories(local);
  std::ofstream(remote / "a.jpg") << std::string(100000, 'a');
  std::ofstream(remote / "b.jpg") << "b";
  std::ofstream(local / "0000000000_a.jpg") << "kept";
  options.receiveDir = local.string();
  options.renameMethod = RenameMethod::SerialNumber;
  const bool moved = mMoveFile({(remote / "a.jpg").string(), (remote / "b.jpg").string()}, options);
  EXPECT_TRUE(moved);
  EXPECT_EQ(text(local / "0000000000_a.jpg"), "kept");
  EXPECT_EQ(text(local / "0000000001_a.jpg"), std::string(100000, 'a'));
  EXPECT_EQ(text(local / "0000000002_b.jpg"), "b");
  EXPECT_TRUE(fs::is_empty(remote));
  fs::remove_all(remote);
  fs::remove_all(local);
}

TEST_F(MoverTest, StopsAtTheFirstFailureAndReportsIt) {
  options.renameMethod = RenameMethod::SerialNumber;
  const std::vector<std::string> sources = {put("a.jpg"), (src / "vanished.jpg").string(), put("c.jpg")};
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

TEST_F(MoverTest, PauseKeepsTheWindowPainted) {
  options.slowly = true;
  ASSERT_TRUE(mMoveFile({put("a.jpg")}, options));
  EXPECT_GE(ui.eventPasses, 5);
}

}  // namespace
}  // namespace msifter::engine
