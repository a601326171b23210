// SPDX-License-Identifier: GPL-3.0-or-later
// Power cuts: runs on ext4 images (loop devices) that are shut down the way
// a power cut stops a disk (EXT4_IOC_SHUTDOWN without flushing its log), at
// chosen moments of the run and after it reported done; then mounted again,
// under another device number.
// Every file must be whole in one place, and the journal (kept on an image
// too) must say which once it is settled.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/types.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "engine/journal.h"
#include "engine/mover.h"
#include "platform/syscalls.h"
#include "temp_env.h"

#ifndef EXT4_IOC_SHUTDOWN
#define EXT4_IOC_SHUTDOWN _IOR('X', 125, __u32)
#endif
#ifndef EXT4_GOING_FLAGS_NOLOGFLUSH
#define EXT4_GOING_FLAGS_NOLOGFLUSH 0x2
#endif

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::readText;

// An ext4 file system in an image file, mounted through a loop device. Each
// time it is mounted again it comes on another loop device (another device
// number), as a disk plugged in again may.
class Ext4Image {
 public:
  explicit Ext4Image(const fs::path& at) : image_(at.string() + ".img"), mountPoint_(at) {
    fs::create_directories(mountPoint_);
    std::ofstream(image_).close();
    fs::resize_file(image_, 64 << 20);
    if (std::system(("mkfs.ext4 -q -F '" + image_.string() + "' >/dev/null 2>&1").c_str()) == 0)
      remount();
  }
  ~Ext4Image() {
    unmount();
    detach(loop_);
  }
  Ext4Image(const Ext4Image&) = delete;
  Ext4Image& operator=(const Ext4Image&) = delete;

  bool mounted() const { return mounted_; }
  const fs::path& path() const { return mountPoint_; }
  void remount() {
    unmount();
    const std::string before = loop_;
    loop_ = attach();
    mounted_ =
        !loop_.empty() && ::mount(loop_.c_str(), mountPoint_.c_str(), "ext4", 0, nullptr) == 0;
    detach(before);
  }
  // The disk stops as at a power cut: what its log has not committed is lost.
  void cut() const {
    const int fd = ::open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY);
    __u32 flags = EXT4_GOING_FLAGS_NOLOGFLUSH;
    ::ioctl(fd, EXT4_IOC_SHUTDOWN, &flags);
    ::close(fd);
  }

 private:
  std::string attach() const {
    FILE* out = ::popen(("losetup -f --show '" + image_.string() + "' 2>/dev/null").c_str(), "r");
    if (out == nullptr) return {};
    char device[64] = {};
    const bool read = std::fgets(device, sizeof device, out) != nullptr;
    ::pclose(out);
    std::string path = read ? device : "";
    if (!path.empty() && path.back() == '\n') path.pop_back();
    return path;
  }
  static void detach(const std::string& loop) {
    if (!loop.empty()) std::system(("losetup -d '" + loop + "' >/dev/null 2>&1").c_str());
  }
  void unmount() {
    if (mounted_ && ::umount2(mountPoint_.c_str(), 0) == 0) mounted_ = false;
  }

  fs::path image_;
  fs::path mountPoint_;
  std::string loop_;
  bool mounted_ = false;
};

// Cuts the power of `images` and ends the process at the chosen call of
// those that change what is on disk.
class CutAt : public platform::Syscalls {
 public:
  CutAt(long at, const std::vector<const Ext4Image*>& images) : at_(at), images_(images) {}
  void cut() const {
    for (const Ext4Image* image : images_) image->cut();
    ::kill(::getpid(), SIGKILL);
  }

  int renameAt(int fd, const char* f, int td, const char* t, unsigned fl) override {
    return step(), Syscalls::renameAt(fd, f, td, t, fl);
  }
  int linkAt(int fd, const char* f, int td, const char* t, int fl) override {
    return step(), Syscalls::linkAt(fd, f, td, t, fl);
  }
  int unlink(const char* p) override { return step(), Syscalls::unlink(p); }
  int unlinkAt(int d, const char* p, int f) override { return step(), Syscalls::unlinkAt(d, p, f); }
  int syncfs(int fd) override { return step(), Syscalls::syncfs(fd); }
  int fsync(int fd) override { return step(), Syscalls::fsync(fd); }
  int fdatasync(int fd) override { return step(), Syscalls::fdatasync(fd); }
  ssize_t pwrite(int fd, const void* b, size_t n, off_t at) override {
    return step(), Syscalls::pwrite(fd, b, n, at);
  }
  int openAt(int d, const char* p, int f, mode_t m) override {
    return step(), Syscalls::openAt(d, p, f, m);
  }

 private:
  void step() {
    if (++calls_ == at_) cut();
  }
  long at_;
  long calls_ = 0;
  std::vector<const Ext4Image*> images_;
};

struct Scenario {
  const char* name;
  bool copy;
  bool across;  // the sources on an image of their own
};

class PowerCutTest : public ::testing::TestWithParam<Scenario> {
 protected:
  testing::TempEnv env;
  std::optional<Ext4Image> disk, card;
  fs::path src, dst;
  const std::map<std::string, std::string> files = {
      {"a.jpg", std::string(70000, 'a')}, {"b.jpg", std::string(5000, 'b')}, {"c.jpg", "c"}};
  TransferOptions options;

  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting images needs root";
    if (std::system("command -v losetup >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "losetup is missing (Debian: mount)";
    if (std::system("command -v mkfs.ext4 >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "mkfs.ext4 is missing (Debian: e2fsprogs)";
    disk.emplace(env.root() / "disk");
    if (!disk->mounted()) GTEST_SKIP() << "cannot mount an ext4 image through a loop device here";
    if (GetParam().across) card.emplace(env.root() / "card");
    src = (GetParam().across ? card->path() : disk->path()) / "src";
    dst = disk->path() / "dst";
    // The journal is on the disk that loses power too.
    ::setenv("XDG_STATE_HOME", (disk->path() / "state").c_str(), 1);
    options.serverDir = src.string();
    options.receiveDir = dst.string();
    options.copyFiles = GetParam().copy;
    options.renameMethod = RenameMethod::SerialNumber;
  }
  void TearDown() override { ::setenv("XDG_STATE_HOME", env.stateHome().c_str(), 1); }

  std::vector<const Ext4Image*> images() const {
    std::vector<const Ext4Image*> all = {&*disk};
    if (card) all.push_back(&*card);
    return all;
  }
  void reset() {
    for (const fs::path& folder : {src, dst, disk->path() / "state"}) fs::remove_all(folder);
    fs::create_directories(src);
    fs::create_directories(dst);
    for (const auto& [name, content] : files)
      std::ofstream(src / name, std::ios::binary) << content;
    ::sync();
  }
  // The run in a child whose power goes at call `at` (0: once it is done).
  void runAndCut(long at) {
    std::vector<std::string> sources;
    for (const auto& [name, content] : files) sources.push_back((src / name).string());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CutAt calls(at, images());
      platform::setSyscalls(&calls);
      RunJournal journal;
      if (journal.begin(options) == 0) journal.finish(mMoveFile(sources, options, &journal));
      calls.cut();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    for (std::optional<Ext4Image>* image : {&disk, &card}) {
      if (!*image) continue;
      (*image)->remount();
      ASSERT_TRUE((*image)->mounted());
    }
  }
  // Every file whole in one place, the journal naming exactly the files at
  // their new names. Returns how many it names.
  std::size_t expectTheTruth() {
    const std::vector<RunSummary> runs = listRuns();
    std::map<std::string, std::string> recorded;  // file name -> new path
    if (!runs.empty()) {
      EXPECT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].pendingFiles + runs[0].unclearFiles, 0);
      const std::optional<RunRecord> record = readRun(runs[0].id);
      EXPECT_TRUE(record.has_value());
      if (record) {
        for (const JournalEntry& e : record->entries)
          recorded[fs::path(e.file.source).filename()] = e.file.destination;
      }
    }
    for (const auto& [name, content] : files) {
      SCOPED_TRACE(name);
      std::vector<fs::path> made;
      for (const auto& e : fs::directory_iterator(dst)) {
        const std::string n = e.path().filename();
        if (n.size() > 11 && n.substr(11) == name) made.push_back(e.path());
      }
      EXPECT_LE(made.size(), 1u);
      const bool atSource = fs::exists(src / name);
      EXPECT_EQ(atSource, GetParam().copy || made.empty());
      EXPECT_EQ(atSource ? readText(src / name) : content, content);
      EXPECT_EQ(made.empty() ? content : readText(made[0]), content);
      EXPECT_EQ(recorded.contains(name), !made.empty());
      EXPECT_EQ(recorded.contains(name) ? recorded[name] : std::string(),
                made.empty() ? std::string() : made[0].string());
    }
    return recorded.size();
  }
};

// Power lost once the run has said it is done: everything it said is there.
TEST_P(PowerCutTest, DoneMeansOnDisk) {
  reset();
  runAndCut(0);
  EXPECT_EQ(expectTheTruth(), files.size());
  const std::vector<RunSummary> runs = listRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].end, RunEnd::Completed);
}

// Power lost in the middle, at every step: nothing in two places,
// nothing cut short, and the journal says where each file is.
TEST_P(PowerCutTest, ACutMidRunLeavesEveryFileInOnePlaceAndTheJournalTrue) {
  long cuts = 0;
  for (long at = 1; at < 400 && !HasFailure(); ++at) {
    SCOPED_TRACE("power cut at call " + std::to_string(at));
    reset();
    runAndCut(at);
    expectTheTruth();
    ++cuts;
    if (listRuns().size() == 1 && listRuns()[0].end == RunEnd::Completed) break;
  }
  EXPECT_GE(cuts, 10);
}

INSTANTIATE_TEST_SUITE_P(Runs, PowerCutTest,
                         ::testing::Values(Scenario{"Move", false, false},
                                           Scenario{"Copy", true, false},
                                           Scenario{"MoveAcross", false, true}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace msifter::engine
