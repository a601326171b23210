// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/name_planner.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/failure.h"
#include "engine/mover.h"
#include "fixed_clock.h"
#include "isolated_test.h"
#include "moments.h"
#include "platform/syscalls.h"
#include "temp_env.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;

using testing::FixedClock;

// Capture moments by file name: "a" and "c" were taken in the same second.
struct CaptureTimes : StampSource {
  std::map<std::string, std::tm> byName;
  std::vector<std::string> asked;
  Stamp stampOf(const std::string& source) override {
    const std::string name = fs::path(source).filename().string();
    asked.push_back(name);
    return {byName.at(name), DateSource::Exif};
  }
};

std::tm at(int hour, int minute, int second) {
  return testing::moment(2024, 1, 5, hour, minute, second);
}

class NamePlannerTest : public testing::TransferTestBase {
 protected:
  CaptureTimes capture;

  void SetUp() override {
    TransferTestBase::SetUp();
    capture.byName = {{"a.jpg", at(14, 30, 0)}, {"b.jpg", at(9, 5, 7)}, {"c.jpg", at(14, 30, 0)}};
  }
  std::vector<std::string> put(std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names) {
      std::ofstream(src / name) << name;
      paths.push_back((src / name).string());
    }
    return paths;
  }
};

// The preview names every file as the run then does: a name taken in the
// destination, or earlier in the same run, takes the next number; the
// preview itself changes nothing, serial numbers included.
TEST_F(NamePlannerTest, PreviewNamesWhatTheRunThenDoes) {
  struct Row {
    const char* name;
    RenameMethod method;
    bool byCapture = false;
    const char* taken;  // already in the destination
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {.name = "serial",
       .method = RenameMethod::SerialNumber,
       .taken = "0000000001_b.jpg",
       .expected = {"0000000000_a.jpg", "0000000002_b.jpg", "0000000003_c.jpg"}},
      {.name = "moment of the transfer",
       .method = RenameMethod::DateTime,
       .taken = "20021015093000_00000_a.jpg",
       .expected = {"20021015093000_00001_a.jpg", "20021015093000_00002_b.jpg",
                    "20021015093000_00003_c.jpg"}},
      // a and c share a second with b between them: c counts on from a.
      {.name = "capture, shared second apart",
       .method = RenameMethod::DateTime,
       .byCapture = true,
       .taken = "20240105143000_00001_c.jpg",
       .expected = {"20240105143000_00000_a.jpg", "20240105090507_00000_b.jpg",
                    "20240105143000_00002_c.jpg"}},
  };
  FixedClock clock;
  platform::ScopedSyscalls scoped(clock);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(dst);
    fs::create_directories(dst);
    std::ofstream(dst / row.taken) << "taken";
    options.renameMethod = row.method;
    int32_t serialNumber = 0;
    const MoveExtras extras{.stamps = row.byCapture ? &capture : nullptr,
                            .serialNumber = &serialNumber};
    const std::vector<std::string> sources = put({"a.jpg", "b.jpg", "c.jpg"});

    std::vector<PlannedFile> plan;
    ASSERT_TRUE(planTransfers(sources, options, extras, plan));
    std::vector<std::string> planned;
    for (const PlannedFile& file : plan) {
      EXPECT_EQ(file.action, PlannedFile::Action::Transfer);
      planned.push_back(file.name);
    }
    EXPECT_EQ(planned, row.expected);
    EXPECT_EQ(namesIn(dst), std::vector<std::string>{row.taken});
    EXPECT_EQ(namesIn(src).size(), 3u);
    EXPECT_EQ(serialNumber, 0);

    ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
    std::vector<std::string> expectedTree = row.expected;
    expectedTree.push_back(row.taken);
    std::sort(expectedTree.begin(), expectedTree.end());
    EXPECT_EQ(namesIn(dst), expectedTree);
  }
  // Each file's moment is read once per run, however many names it tries.
  EXPECT_EQ(capture.asked,
            (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "a.jpg", "b.jpg", "c.jpg"}));
}

// A capture moment does not move on as the clock does: once its 99,999
// numbers are taken the file gets no name (never a sixth digit), and the run
// stops at it, naming it.
TEST_F(NamePlannerTest, CaptureMomentWithEveryNumberTakenLeavesTheFileUnnamed) {
  struct EverySecondTaken : platform::Syscalls {
    static bool crowded(const char* name) {
      return std::string(name).find("20240105143000_") != std::string::npos;
    }
    int lstat(const char* path, struct stat* out) override {
      if (crowded(path)) return *out = {}, 0;
      return Syscalls::lstat(path, out);
    }
    int fstatat(int dir, const char* name, struct stat* out, int flags) override {
      if (crowded(name)) return *out = {}, 0;
      return Syscalls::fstatat(dir, name, out, flags);
    }
    int renameAt(int fromDir, const char* from, int toDir, const char* to,
                 unsigned flags) override {
      if (crowded(to)) return errno = EEXIST, -1;
      return Syscalls::renameAt(fromDir, from, toDir, to, flags);
    }
    // The preview learns the folder's names from its listing: it lists
    // a.jpg's 99,999 names after the folder's real entries.
    ino_t folder = 0;
    DIR* crowdedListing = nullptr;
    int listed = 0;
    dirent entry{};
    DIR* fdopendir(int fd) override {
      DIR* listing = Syscalls::fdopendir(fd);
      struct stat st {};
      if (listing != nullptr && ::fstat(fd, &st) == 0 && st.st_ino == folder) {
        crowdedListing = listing;
        listed = 0;
      }
      return listing;
    }
    dirent* readdir(DIR* listing) override {
      dirent* real = Syscalls::readdir(listing);
      if (real != nullptr || listing != crowdedListing || listed == 99999) return real;
      std::snprintf(entry.d_name, sizeof entry.d_name, "20240105143000_%05d_a.jpg", listed++);
      entry.d_type = DT_REG;
      return &entry;
    }
  } taken;
  struct stat folder {};
  ASSERT_EQ(::stat(dst.c_str(), &folder), 0);
  taken.folder = folder.st_ino;
  platform::ScopedSyscalls scoped(taken);
  const std::vector<std::string> sources = put({"b.jpg", "a.jpg", "c.jpg"});
  const MoveExtras extras{.stamps = &capture};

  std::vector<PlannedFile> plan;
  ASSERT_TRUE(planTransfers(sources, options, extras, plan));
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0].name, "20240105090507_00000_b.jpg");
  EXPECT_EQ(plan[1].action, PlannedFile::Action::NoFreeName);

  MoveFailure failure;
  EXPECT_FALSE(mMoveFile(sources, options, extras, &failure));
  EXPECT_EQ(namesIn(dst), std::vector<std::string>{"20240105090507_00000_b.jpg"});
  EXPECT_EQ(failure.path, sources[1]);
  EXPECT_EQ(failure.number, common::err::FileExists);
  EXPECT_TRUE(fs::exists(sources[1]));
}

// The clock of FixedClock, and a file system that takes names of at most
// `nameMax` bytes.
struct ShortNamesFileSystem : FixedClock {
  unsigned long nameMax = 255;
  int statvfs(const char* path, struct statvfs* out) override {
    const int result = Syscalls::statvfs(path, out);
    out->f_namemax = nameMax;
    return result;
  }
};

std::string times(std::size_t count, const std::string& piece) {
  std::string text;
  while (count-- > 0) text += piece;
  return text;
}

// A name that would pass the file system's limit loses the end of the
// file's own name, never a byte of the prefix or the extension, and never
// half a character; a name that cannot fit even so is refused.
TEST_F(NamePlannerTest, LongNamesAreCutToTheFileSystemsLimit) {
  const std::string a240 = times(240, "a"), serial = "0000000000_",
                    moment = "20021015093000_00000_";
  struct Row {
    const char* name;
    std::string file, expected;
    RenameMethod method = RenameMethod::SerialNumber;
    bool extFix = false;
    unsigned long nameMax = 255;
  };
  const Row rows[] = {
      {"fits exactly", a240 + ".jpg", serial + a240 + ".jpg"},
      {"ASCII", a240 + "tenletters.jpg", serial + a240 + ".jpg"},
      {"date-time", a240 + ".jpg", moment + times(230, "a") + ".jpg", RenameMethod::DateTime},
      // 230 bytes left for "あ" (3 bytes each): 76 of them, not 76⅔.
      {"Japanese", times(83, "あ") + ".jpg", moment + times(76, "あ") + ".jpg",
       RenameMethod::DateTime},
      {"no extension", times(260, "a"), serial + times(244, "a")},
      {"no room left for the name", "photo." + times(243, "e"), serial + "." + times(243, "e")},
      {"extension too long", "photo." + times(244, "e"), "refused"},
      {"extension as fixed", a240 + "a.JPEG", serial + a240 + ".jpg", RenameMethod::SerialNumber,
       true},
      // A stray byte is a character of its own; a whole sequence stays whole.
      {"not UTF-8", times(238, "a") + "\xff" + "あzzz.jpg", serial + times(238, "a") + "\xff.jpg"},
      {"shorter names", a240 + ".jpg", serial + times(128, "a") + ".jpg",
       RenameMethod::SerialNumber, false, 143},
  };
  ShortNamesFileSystem fileSystem;
  platform::ScopedSyscalls scoped(fileSystem);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fileSystem.nameMax = row.nameMax;
    options.renameMethod = row.method;
    options.extFix = row.extFix;
    int32_t serialNumber = 0;
    NamePlanner planner(options, serialNumber);
    const NamePlanner::Names names = planner.namesFor((src / row.file).string());
    try {
      EXPECT_EQ(names(), row.expected);
    } catch (const common::RuntimeFailure& e) {
      EXPECT_EQ(row.expected, "refused");
      EXPECT_EQ(e.number(), common::err::BadFileName);
    }
  }
}

}  // namespace
}  // namespace msifter::engine
