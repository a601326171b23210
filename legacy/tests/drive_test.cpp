// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/drive.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/failure.h"
#include "platform/syscalls.h"

namespace msifter::legacy {
namespace {

TEST(Drive, TheMountPointGetsOneTrailingSeparator) {
  struct Row {
    const char* given;
    const char* stored;
  };
  for (const Row& row : {Row{"/", "/"}, Row{"/media/cam", "/media/cam/"},
                         Row{"/media/cam/", "/media/cam/"}, Row{"c:", "c:/"}}) {
    clsDrive drive;
    drive.Drive(row.given);
    EXPECT_EQ(drive.Drive(), row.stored) << row.given;
  }
}

TEST(Drive, EnabledOnlyForMountPoints) {
  clsDrive drive;
  drive.Drive("/");
  EXPECT_TRUE(drive.Enabled());
  drive.Drive("/proc");
  EXPECT_TRUE(drive.Enabled());
  drive.Drive("/proc/self");  // inside a mount, not one
  EXPECT_FALSE(drive.Enabled());
  drive.Drive("/no/such/drive");
  EXPECT_FALSE(drive.Enabled());
}

TEST(Drive, MediaConditionLeavesNoFailureBehind) {
  common::raiseError(common::err::DiskNotReady);
  clsDrive drive;
  drive.Drive("/");
  EXPECT_TRUE(drive.MediaCondition());
  EXPECT_EQ(common::currentError().number, 0);
  drive.Drive("/no/such/drive");
  EXPECT_FALSE(drive.MediaCondition());
  EXPECT_EQ(common::currentError().number, 0);
}

TEST(Drive, AnUnreadableMediumIsNotReady) {
  struct Unreadable : platform::Syscalls {
    struct dirent* readdir(DIR*) override {
      errno = EIO;
      return nullptr;
    }
  } unreadable;
  platform::ScopedSyscalls scoped(unreadable);
  clsDrive drive;
  drive.Drive("/");
  EXPECT_FALSE(drive.MediaCondition());
}

TEST(Drive, VolumePropertiesComeFromTheMountTable) {
  clsDrive drive;
  drive.Drive("/proc");
  EXPECT_FALSE(drive.CaseSensitive());  // nothing refreshed yet
  EXPECT_EQ(drive.FileSystem(), "proc");
  EXPECT_TRUE(drive.CaseSensitive());
  EXPECT_TRUE(drive.CasePreserved());
  EXPECT_GT(drive.MaxFileName(), 0);

  drive.Drive("/");
  EXPECT_GT(drive.AllSpace(), 0.0);
  EXPECT_LE(drive.FreeSpace(), drive.AllSpace());
  EXPECT_GT(drive.SectorByte(), 0);
  EXPECT_GE(drive.ClusterSector(), 1);
  drive.Drive("/no/such/drive");
  EXPECT_EQ(drive.MediaType(), clsDrive::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(drive.FileSystem(), "");
  EXPECT_EQ(drive.AllSpace(), 0.0);
}

TEST(Drive, NoFormatDialogHere) {
  clsDrive drive;
  int32_t type = 0;
  EXPECT_EQ(drive.ShowFormat(0, 2, type), clsDrive::SHFMT_NOFORMAT);
}

}  // namespace
}  // namespace msifter::legacy
