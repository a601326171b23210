// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recorded_file.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

namespace msifter::engine {
namespace {

// statfs(2) types as the kernel numbers them.
constexpr int64_t kExt4 = 0xef53, kFuse = 0x65735546, kFat = 0x4d44, kNfs = 0x6969;

// A file is still the one recorded, or was changed, as each kind of file
// system can tell: a local disk by inode and nanoseconds; sshfs and cards,
// which make inode numbers up at each mount and keep whole seconds, by size
// and time to their step; NFS by its lasting file ids.
TEST(RecordedFile, IsToldByWhatItsFileSystemKeeps) {
  TransferredFile recorded;
  recorded.size = 5000;
  recorded.modifiedSeconds = 1034674201;
  recorded.modifiedNanoseconds = 523456789;
  recorded.device = makedev(8, 1);
  recorded.inode = 42;
  struct Row {
    const char* what;
    int64_t type;
    dev_t device;
    ino_t inode;
    int64_t size;
    time_t seconds;
    long nanoseconds;
    bool same;
  };
  const dev_t mounted = makedev(0, 57);  // given at mount time
  const Row rows[] = {
      {"local, as recorded", kExt4, makedev(8, 1), 42, 5000, 1034674201, 523456789, true},
      {"local, touched a nanosecond on", kExt4, makedev(8, 1), 42, 5000, 1034674201, 523456790,
       false},
      {"local, another inode", kExt4, makedev(8, 1), 43, 5000, 1034674201, 523456789, false},
      {"local, another disk", kExt4, makedev(8, 17), 42, 5000, 1034674201, 523456789, false},
      {"sshfs, seconds and a new number", kFuse, mounted, 2, 5000, 1034674201, 0, true},
      {"sshfs, edited since", kFuse, mounted, 2, 5000, 1767225600, 0, false},
      {"sshfs, another size", kFuse, mounted, 2, 4999, 1034674201, 0, false},
      {"sshfs, three seconds off", kFuse, mounted, 2, 5000, 1034674204, 0, false},
      // exfat-fuse gives its files the reader's block device number.
      {"FUSE card, put back into another reader", kFuse, makedev(8, 33), 2, 5000, 1034674201, 0,
       true},
      {"FUSE card, another reader, edited since", kFuse, makedev(8, 33), 2, 5000, 1034674204, 0,
       false},
      {"FAT, two-second step down", kFat, makedev(8, 33), 7, 5000, 1034674200, 0, true},
      {"FAT, rounded up", kFat, makedev(8, 33), 7, 5000, 1034674202, 0, true},
      {"NFS, same id on a new mount", kNfs, mounted, 42, 5000, 1034674201, 0, true},
      {"NFS, another id", kNfs, mounted, 43, 5000, 1034674201, 0, false},
  };
  for (const Row& row : rows) {
    const platform::FileIdentity now{.device = row.device,
                                     .inode = row.inode,
                                     .size = row.size,
                                     .modifiedSeconds = row.seconds,
                                     .modifiedNanoseconds = row.nanoseconds};
    const auto keeps = platform::fileSystemKeepsByType(row.type, row.device);
    EXPECT_EQ(isRecordedFile(now, recorded, keeps), row.same) << row.what;
  }
}

}  // namespace
}  // namespace msifter::engine
