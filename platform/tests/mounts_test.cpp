// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mounts.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace msifter::platform {
namespace {

TEST(Mounts, ParsesTheTableAndDecodesEscapes) {
  const auto mounts = parseMounts(
      "/dev/vda / ext4 rw,relatime 0 0\n"
      "tmpfs /dev/shm tmpfs rw,nosuid 0 0\n"
      "/dev/sdb1 /media/My\\040Photos vfat rw 0 0\n"
      "broken line\n");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[2].mountPoint, "/media/My Photos");
  EXPECT_EQ(mounts[2].fsType, "vfat");
  EXPECT_EQ(mounts[1].options, "rw,nosuid");
}

TEST(Mounts, FindsTheInnermostMountPoint) {
  const auto mounts = parseMounts(
      "/dev/vda / ext4 rw 0 0\n"
      "tmpfs /media tmpfs rw 0 0\n"
      "/dev/sdb1 /media/cam vfat rw 0 0\n");
  struct Row {
    const char* path;
    const char* mount;
  };
  for (const Row& row :
       {Row{"/media/cam/DCIM/x.jpg", "/media/cam"}, Row{"/media/cam", "/media/cam"},
        Row{"/media/camera", "/media"}, Row{"/home/u", "/"}}) {
    MountEntry m;
    ASSERT_TRUE(findMount(mounts, row.path, m)) << row.path;
    EXPECT_EQ(m.mountPoint, row.mount) << row.path;
  }
}

TEST(Mounts, TheRootCanBeListedAndMeasured) {
  EXPECT_EQ(tryListFolder("/").code(), 0);
  EXPECT_EQ(tryListFolder("/no/such/folder").code(), ENOENT);
  FileSystemStats stats;
  ASSERT_EQ(fileSystemStats("/", stats).code(), 0);
  EXPECT_GT(stats.totalBlocks, 0u);
  EXPECT_GT(stats.maxNameLength, 0u);
}

}  // namespace
}  // namespace msifter::platform
