// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers onto and from file systems that keep less than a local disk
// (cards through FUSE, XFS's own access lists, pseudo files), and the
// metadata a copy keeps as cp -p and mv keep it.
#include <fcntl.h>
#include <gtest/gtest.h>
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
#include <string>
#include <utility>
#include <vector>

#include "folder_pair_test.h"
#include "mounted_image.h"
#include "platform/destination_folder.h"
#include "platform/file_transfer.h"
#include "platform/syscalls.h"
#include "recorded_calls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::MountedImage;

using testing::namesIn;
using testing::readText;
using testing::writeText;

struct stat statOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Sets a file's modification time to a moment with nanoseconds.
void setModified(const fs::path& path, time_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// ---- Cards: exFAT and FAT as a desktop mounts them, through FUSE. Neither
// keeps owners, modes or extended attributes, has hard links or
// RENAME_NOREPLACE, or passes a flush of the whole file system on.

class CardTest : public ::testing::TestWithParam<MountedImage::Kind> {
 protected:
  testing::TempEnv env;
  MountedImage card{GetParam(), env.root() / "card"};
  fs::path local = env.root() / "local";

  void SetUp() override {
    if (!card.mounted()) GTEST_SKIP() << card.whyNot();
    fs::create_directories(local);
  }
};

// Copies and moves onto the card, and a move on the card itself, keep every
// byte and the time to the card's step, replace no file the card holds (the
// next name is taken) and leave no temporary behind.
TEST_P(CardTest, CopiesAndMovesOntoTheCardReplaceNothing) {
  const std::string bytes(300000, 'p');
  writeText(card.path() / "a.jpg", "the card's own");
  writeText(card.path() / "DCIM/d.jpg", "on the card");
  writeText(local / "set-id.jpg", bytes);
  writeText(local / "moved.jpg", "moved");
  ASSERT_EQ(::chmod((local / "set-id.jpg").c_str(), 04755), 0);
  setModified(local / "set-id.jpg", 1034674201, 523456789);
  const auto orA = [](const char* second) {
    return [second, n = 0]() mutable {
      return std::string(++n == 1 ? "a.jpg" : n == 2 ? second : "");
    };
  };
  DestinationFolder folder;
  ASSERT_EQ(folder.open(card.path().string()).code(), 0);
  ASSERT_EQ(folder.copy(local / "set-id.jpg", orA("b.jpg")).code(), 0);
  ASSERT_EQ(folder.move(local / "moved.jpg", orA("c.jpg")).code(), 0);
  ASSERT_EQ(folder.move(card.path() / "DCIM/d.jpg", orA("d.jpg")).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(readText(card.path() / "a.jpg"), "the card's own");
  EXPECT_EQ(readText(card.path() / "b.jpg"), bytes);
  EXPECT_LE(std::abs(statOf(card.path() / "b.jpg").st_mtim.tv_sec - 1034674201), 2);
  EXPECT_EQ(readText(card.path() / "c.jpg"), "moved");
  EXPECT_EQ(readText(card.path() / "d.jpg"), "on the card");
  EXPECT_EQ(namesIn(local), std::vector<std::string>{"set-id.jpg"});
  EXPECT_EQ(namesIn(card.path()),
            (std::vector<std::string>{"DCIM", "a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
}

// A flush of the whole file system does not reach a FUSE card, so each file
// is flushed before it gets its name and again with it: a move's source is
// removed only after both.
TEST_P(CardTest, EachFileReachesTheCardBeforeItsSourceGoes) {
  testing::RecordedCalls calls;
  for (const char* name : {"a.jpg", "b.jpg"}) writeText(local / name, name);
  ScopedSyscalls scoped(calls);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(card.path().string()).code(), 0);
  for (const char* name : {"a.jpg", "b.jpg"})
    ASSERT_EQ(folder.move((local / name).string(), onlyName(name)).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(calls.only("FNU"), "FFNFNFUU");
  EXPECT_EQ(readText(card.path() / "b.jpg"), "b.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Fuse, CardTest, ::testing::Values(MountedImage::Kind::ExfatFuse, MountedImage::Kind::FatFuse),
    [](const auto& row) { return row.param == MountedImage::Kind::ExfatFuse ? "Exfat" : "Fat"; });

// ---- What a copy keeps, as cp -p and mv keep it

using KeptMetadataTest = testing::FolderPairTest;

// Set-user-ID and set-group-ID stay only with the owner and group they were
// set for: root's copy keeps them with the owner; a copy onto a file system
// that refuses the owner, or a plain user's copy of root's set-ID program,
// is no set-ID program of the copier.
TEST_F(KeptMetadataTest, SetIdBitsStayOnlyWithTheirOwner) {
  constexpr uid_t kUser = 65534;
  writeText(src / "tool", "#!/bin/sh\n");
  for (const fs::path& folder : {env.root(), src}) ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chown(dst.c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chown((src / "tool").c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chmod((src / "tool").c_str(), 06755), 0);
  ASSERT_TRUE(copyFile(src / "tool", dst / "by-root").ok());
  struct NoOwners : Syscalls {
    int fchown(int, uid_t, gid_t) override {
      errno = EPERM;
      return -1;
    }
  } noOwners;
  {
    ScopedSyscalls scoped(noOwners);
    ASSERT_TRUE(copyFile(src / "tool", dst / "owner-refused").ok());
  }
  ASSERT_EQ(::chown((src / "tool").c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod((src / "tool").c_str(), 06555), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kUser) != 0 || ::setuid(kUser) != 0) ::_exit(3);
    ::_exit(copyFile(src / "tool", dst / "by-user").ok() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  const auto ownerAndMode = [&](const char* name) {
    const struct stat st = statOf(dst / name);
    return std::pair{st.st_uid, st.st_mode & 07777};
  };
  EXPECT_EQ(ownerAndMode("by-root"), std::pair(kUser, 06755u));
  EXPECT_EQ(ownerAndMode("owner-refused"), std::pair(0u, 0755u));
  EXPECT_EQ(ownerAndMode("by-user"), std::pair(kUser, 0555u));
}

// /proc reports no length for files that hold bytes, sysfs a page for a
// few: a copy holds what reading them gives.
TEST_F(KeptMetadataTest, PseudoFilesAreCopiedToTheirEnd) {
  for (const char* path :
       {"/proc/version", "/proc/self/limits", "/sys/devices/system/cpu/online"}) {
    SCOPED_TRACE(path);
    const std::string expected = readText(path);
    ASSERT_FALSE(expected.empty());
    const fs::path to = dst / fs::path(path).filename();
    ASSERT_EQ(copyFile(path, to).code(), 0);
    EXPECT_EQ(readText(to), expected);
  }
}

// A folder's default access list gives way to the source's permissions, as
// mv and cp -p let it: a source with a list of its own brings it, one
// without keeps none. Checked against mv moving a twin of the source.
TEST_F(KeptMetadataTest, AccessListsAsMvLeavesThem) {
  const auto sh = [](const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
  };
  if (!sh("setfacl -d -m u:daemon:rwx,g::r-x,o::--- '" + dst.string() + "'"))
    GTEST_SKIP() << "no setfacl (acl), or no access lists on " << dst;
  const auto acl = [&](const fs::path& p) {
    EXPECT_TRUE(sh("getfacl -c '" + p.string() + "' > '" + (env.root() / "acl").string() + "'"));
    return readText(env.root() / "acl") + std::to_string(statOf(p).st_mode);
  };
  for (const std::string list : {"", "u:nobody:r--"}) {
    SCOPED_TRACE(list);
    for (const char* twin : {"ours", "mv"}) {
      writeText(src / twin, "photo");
      ASSERT_EQ(::chmod((src / twin).c_str(), 0644), 0);
      if (!list.empty()) {
        ASSERT_TRUE(sh("setfacl -m " + list + " '" + (src / twin).string() + "'"));
      }
    }
    ASSERT_TRUE(copyFile(src / "ours", dst / "ours").ok());
    ASSERT_TRUE(sh("mv '" + (src / "mv").string() + "' '" + (dst / "mv").string() + "'"));
    EXPECT_EQ(acl(dst / "ours"), acl(dst / "mv"));
    fs::remove(dst / "ours");
    fs::remove(dst / "mv");
  }
}

// XFS lists a file's access list twice: as system.posix_acl_access and in
// its own format as trusted.SGI_ACL_FILE. A copy carries the list once,
// under the name every file system knows.
TEST_F(KeptMetadataTest, XfsAccessListsAreCopiedUnderTheirCommonNameOnly) {
  MountedImage xfs(MountedImage::Kind::Xfs, env.root() / "xfs");
  if (!xfs.mounted()) GTEST_SKIP() << xfs.whyNot();
  const fs::path source = xfs.path() / "a.jpg";
  writeText(source, "photo");
  const std::string list =
      "\x02\0\0\0\x01\0\x06\0\xff\xff\xff\xff\x02\0\x04\0\x01\0\0\0"
      "\x04\0\x04\0\xff\xff\xff\xff\x10\0\x04\0\xff\xff\xff\xff"
      "\x20\0\x04\0\xff\xff\xff\xff"s;
  ASSERT_EQ(::setxattr(source.c_str(), "system.posix_acl_access", list.data(), list.size(), 0), 0)
      << std::strerror(errno);
  ASSERT_GT(::getxattr(source.c_str(), "trusted.SGI_ACL_FILE", nullptr, 0), 0);
  for (const fs::path& to : {dst / "a.jpg", xfs.path() / "b.jpg"}) {
    SCOPED_TRACE(to);
    ASSERT_TRUE(copyFile(source, to).ok());
    std::string value(256, '\0');
    const ssize_t n = ::getxattr(to.c_str(), "system.posix_acl_access", value.data(), value.size());
    ASSERT_GT(n, 0) << std::strerror(errno);
    EXPECT_EQ(value.substr(0, static_cast<size_t>(n)), list);
  }
  EXPECT_LT(::getxattr((dst / "a.jpg").c_str(), "trusted.SGI_ACL_FILE", nullptr, 0), 0);
}

}  // namespace
}  // namespace msifter::platform
