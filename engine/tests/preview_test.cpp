// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/preview.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/destination_names.h"
#include "engine/mover.h"
#include "fixed_clock.h"
#include "platform/syscalls.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

// 2002-10-15 09:30:00 for as long as the test runs, read without a zone;
// every look at a name in the destination counted.
struct StoppedClock : testing::FixedClock {
  std::string destination;
  int destinationLooks = 0;
  int fstatat(int dir, const char* name, struct stat* out, int flags) override {
    if (std::string(name).find("_x") != std::string::npos) ++destinationLooks;
    return Syscalls::fstatat(dir, name, out, flags);
  }
  int lstat(const char* path, struct stat* out) override {
    if (std::string(path).starts_with(destination)) ++destinationLooks;
    return Syscalls::lstat(path, out);
  }
};

class PreviewTest : public testing::TransferTestBase {};

// A second whose 99,999 numbers are used up gives way to the next second at
// once: the preview does not wait for the clock (which here never moves, so
// a wait would never end), and later files stay in that second rather than
// going back to the clock's and naming files twice. No planned name is
// looked up in the destination.
TEST_F(PreviewTest, AFullSecondGivesWayToTheNextWithoutWaiting) {
  StoppedClock clock;
  clock.destination = dst.string();
  platform::ScopedSyscalls scoped(clock);
  std::vector<std::string> sources(100001, (src / "x.jpg").string());
  std::vector<PlannedFile> plan;
  ASSERT_TRUE(planTransfers(sources, options, MoveExtras{}, plan));
  ASSERT_EQ(plan.size(), sources.size());
  EXPECT_EQ(plan[0].name, "20021015093000_00000_x.jpg");
  EXPECT_EQ(plan[99998].name, "20021015093000_99998_x.jpg");
  EXPECT_EQ(plan[99999].name, "20021015093001_00000_x.jpg");
  EXPECT_EQ(plan[100000].name, "20021015093001_00001_x.jpg");
  EXPECT_EQ(clock.destinationLooks, 0);
}

// What the destination holds is known from one listing: a name there is
// passed over, a name whose file has gone since the listing is free again
// (confirmed by a look), a name planned before is taken.
TEST_F(PreviewTest, TheDestinationsNamesComeFromOneListing) {
  std::ofstream(dst / "kept.jpg") << "kept";
  std::ofstream(dst / "gone.jpg") << "gone";
  fs::create_directory(dst / "folder");
  fs::create_symlink("nowhere", dst / "link");
  DestinationNames names;
  names.open(dst.string());
  fs::remove(dst / "gone.jpg");
  struct Row {
    const char* name;
    bool free;
  };
  const std::vector<Row> rows = {
      {"kept.jpg", false}, {"folder", false},  {"link", false},     {"gone.jpg", true},
      {"new.jpg", true},   {"new.jpg", false}, {"gone.jpg", false}, {"KEPT.jpg", true},
  };
  for (const Row& row : rows) EXPECT_EQ(names.claim(row.name), row.free) << row.name;

  // A folder that cannot be listed has each name looked at.
  DestinationNames missing;
  missing.open((dst / "not-there").string());
  EXPECT_TRUE(missing.claim("a.jpg"));
  EXPECT_FALSE(missing.claim("a.jpg"));
}

// The table of hashes grows past its first size and loses nothing.
TEST_F(PreviewTest, NameHashesKeepEveryHashAsTheyGrow) {
  NameHashes hashes;
  for (uint64_t h = 1; h <= 5000; ++h) hashes.insert(h * 1024);
  hashes.insert(1024);
  EXPECT_EQ(hashes.size(), 5000u);
  for (uint64_t h = 1; h <= 5000; ++h) ASSERT_TRUE(hashes.contains(h * 1024)) << h;
  EXPECT_FALSE(hashes.contains(5001 * 1024));
  EXPECT_FALSE(hashes.contains(3));
}

}  // namespace
}  // namespace msifter::engine
