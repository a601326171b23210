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
#include <iterator>
#include <string>
#include <vector>

#include "mounted_image.h"
#include "platform/destination_folder.h"
#include "platform/file_transfer.h"
#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::MountedImage;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

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

// What a card keeps of a photo copied or moved onto it: every byte and the
// modification time to the card's step; a move's source goes only once the
// copy is there. No temporary is left behind.
TEST_P(CardTest, CopiesAndMovesOntoTheCardKeepItsBytesAndTime) {
  struct Row {
    const char* name;
    bool copy;
    mode_t mode;
  };
  const Row rows[] = {{"copy", true, 0644}, {"move", false, 0640}, {"set-user-ID", true, 04755}};
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(card.path().string()).code(), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path source = local / (std::string(row.name) + ".jpg");
    writeText(source, bytes);
    ASSERT_EQ(::chmod(source.c_str(), row.mode), 0);
    setModified(source, 1034674201, 523456789);
    const OsError e = row.copy ? folder.copy(source, onlyName(row.name))
                               : folder.move(source, onlyName(row.name));
    ASSERT_EQ(e.code(), 0) << e.message();
    ASSERT_EQ(folder.settle().code(), 0);
    EXPECT_EQ(readText(card.path() / row.name), bytes);
    EXPECT_EQ(fs::exists(source), row.copy);
    const struct stat made = statOf(card.path() / row.name);
    EXPECT_LE(std::abs(made.st_mtim.tv_sec - 1034674201), 2);
    EXPECT_EQ(made.st_mode & (S_ISUID | S_ISGID), 0u);
  }
  EXPECT_EQ(entriesOf(card.path()), (std::vector<std::string>{"copy", "move", "set-user-ID"}));
}

// A name taken on the card is never replaced: the next name is tried, and a
// file with no name left to try fails with its source untouched. Moves on
// the card itself are renames that replace nothing either.
TEST_P(CardTest, NoFileOnTheCardIsEverReplaced) {
  writeText(card.path() / "a.jpg", "the card's own");
  writeText(card.path() / "b.jpg", "the card's other");
  writeText(local / "new.jpg", "new photo");
  DestinationFolder folder;
  ASSERT_EQ(folder.open(card.path().string()).code(), 0);
  EXPECT_TRUE(folder.copy(local / "new.jpg", onlyName("a.jpg")).nameTaken());
  const auto names = [](std::vector<std::string> list) {
    return [list, at = std::size_t{0}]() mutable { return at < list.size() ? list[at++] : ""; };
  };
  ASSERT_EQ(folder.copy(local / "new.jpg", names({"a.jpg", "c.jpg"})).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  fs::create_directories(card.path() / "DCIM");
  writeText(card.path() / "DCIM/d.jpg", "on the card");
  ASSERT_EQ(folder.move((card.path() / "DCIM/d.jpg").string(), names({"b.jpg", "d.jpg"})).code(),
            0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(readText(card.path() / "a.jpg"), "the card's own");
  EXPECT_EQ(readText(card.path() / "b.jpg"), "the card's other");
  EXPECT_EQ(readText(card.path() / "c.jpg"), "new photo");
  EXPECT_EQ(readText(card.path() / "d.jpg"), "on the card");
  EXPECT_FALSE(fs::exists(card.path() / "DCIM/d.jpg"));
  EXPECT_EQ(entriesOf(card.path()),
            (std::vector<std::string>{"DCIM", "a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
}

// Photos moved from a card to the local disk: each arrives whole and leaves
// the card only then.
TEST_P(CardTest, MovesFromTheCard) {
  for (const char* name : {"a.jpg", "b.jpg"}) writeText(card.path() / "DCIM" / name, name);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(local.string()).code(), 0);
  for (const char* name : {"a.jpg", "b.jpg"})
    ASSERT_EQ(folder.move((card.path() / "DCIM" / name).string(), onlyName(name)).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(readText(local / "a.jpg"), "a.jpg");
  EXPECT_EQ(readText(local / "b.jpg"), "b.jpg");
  EXPECT_TRUE(fs::is_empty(card.path() / "DCIM"));
}

// A flush of the whole file system does not reach a FUSE card, so each file
// is flushed before it gets its name and again with it: a move's source is
// removed only after both.
TEST_P(CardTest, EachFileReachesTheCardBeforeItsSourceGoes) {
  struct Recorded : Syscalls {
    std::string events;
    int fsync(int fd) override {
      events += 'F';
      return Syscalls::fsync(fd);
    }
    int renameAt(int fd, const char* from, int toFd, const char* to, unsigned flags) override {
      const int rc = Syscalls::renameAt(fd, from, toFd, to, flags);
      if (rc == 0) events += 'N';
      return rc;
    }
    int unlink(const char* path) override {
      events += 'U';
      return Syscalls::unlink(path);
    }
  } calls;
  for (const char* name : {"a.jpg", "b.jpg"}) writeText(local / name, name);
  ScopedSyscalls scoped(calls);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(card.path().string()).code(), 0);
  for (const char* name : {"a.jpg", "b.jpg"})
    ASSERT_EQ(folder.move((local / name).string(), onlyName(name)).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(calls.events, "FFNFNFUU");
  EXPECT_EQ(readText(card.path() / "b.jpg"), "b.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Fuse, CardTest, ::testing::Values(MountedImage::Kind::ExfatFuse, MountedImage::Kind::FatFuse),
    [](const auto& info) { return info.param == MountedImage::Kind::ExfatFuse ? "Exfat" : "Fat"; });

// Where neither RENAME_NOREPLACE nor hard links exist, the new name is
// claimed with an empty file of our own first: a file that takes the name
// first is kept, and the next name is tried.
TEST(NoHardLinks, ANameIsClaimedBeforeTheRenameAndNeverReplaced) {
  struct Refusing : Syscalls {
    fs::path sneakIn;  // appears under the name just before the claim
    int renameAt(int fd, const char* from, int toFd, const char* to, unsigned flags) override {
      if (flags != 0) {
        errno = EINVAL;
        return -1;
      }
      return Syscalls::renameAt(fd, from, toFd, to, flags);
    }
    int linkAt(int, const char*, int, const char*, int) override {
      errno = EPERM;
      return -1;
    }
    int openAt(int dir, const char* path, int flags, mode_t mode) override {
      if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
      }
      if ((flags & O_EXCL) && !sneakIn.empty() && sneakIn.filename() == path) {
        writeText(sneakIn, "came first");
        sneakIn.clear();
      }
      return Syscalls::openAt(dir, path, flags, mode);
    }
  } calls;
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  writeText(env.root() / "a.jpg", "photo a");
  writeText(env.root() / "b.jpg", "photo b");
  fs::create_directories(dst);
  calls.sneakIn = dst / "0001.jpg";
  ScopedSyscalls scoped(calls);
  DestinationFolder folder;
  ASSERT_EQ(folder.open(dst.string()).code(), 0);
  int next = 1;
  const auto numbered = [&] { return "000" + std::to_string(next++) + ".jpg"; };
  ASSERT_EQ(folder.copy((env.root() / "a.jpg").string(), numbered).code(), 0);
  ASSERT_EQ(folder.move((env.root() / "b.jpg").string(), numbered).code(), 0);
  ASSERT_EQ(folder.settle().code(), 0);
  EXPECT_EQ(entriesOf(dst), (std::vector<std::string>{"0001.jpg", "0002.jpg", "0003.jpg"}));
  // The move is named at once, the copy when its batch is settled.
  EXPECT_EQ(readText(dst / "0001.jpg"), "came first");
  EXPECT_EQ(readText(dst / "0002.jpg"), "photo b");
  EXPECT_EQ(readText(dst / "0003.jpg"), "photo a");
  EXPECT_FALSE(fs::exists(env.root() / "b.jpg"));
}

// ---- What a copy keeps, as cp -p and mv keep it

class KeptMetadataTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  fs::path src = env.root() / "src";
  fs::path dst = env.root() / "dst";
  void SetUp() override {
    fs::create_directories(src);
    fs::create_directories(dst);
  }
};

// Set-user-ID and set-group-ID stay only with the owner and group they were
// set for: a plain user's copy of a set-ID program, or root's copy onto a
// file system that refuses the owner, is no set-ID program of the copier.
TEST_F(KeptMetadataTest, SetIdBitsStayOnlyWithTheirOwner) {
  constexpr uid_t kUser = 65534;
  writeText(src / "tool", "#!/bin/sh\n");
  ASSERT_EQ(::chmod(src.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(env.root().c_str(), 0755), 0);
  ASSERT_EQ(::chown(dst.c_str(), kUser, kUser), 0);

  // Root keeps the owner, and with it the bits.
  ASSERT_EQ(::chown((src / "tool").c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chmod((src / "tool").c_str(), 06755), 0);
  ASSERT_TRUE(copyFile(src / "tool", dst / "by-root").ok());
  EXPECT_EQ(statOf(dst / "by-root").st_mode & 07777, 06755u);

  // Root, where the destination refuses owners.
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
  EXPECT_EQ(statOf(dst / "owner-refused").st_uid, 0u);
  EXPECT_EQ(statOf(dst / "owner-refused").st_mode & 07777, 0755u);

  // A plain user copies root's set-ID program.
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
  EXPECT_EQ(statOf(dst / "by-user").st_uid, kUser);
  EXPECT_EQ(statOf(dst / "by-user").st_mode & 07777, 0555u);
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
// without keeps none. Checked against mv itself, moving a twin from the
// same folder (a memory file system: a move between file systems).
TEST_F(KeptMetadataTest, AccessListsAsMvLeavesThem) {
  const auto sh = [](const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
  };
  if (!sh("setfacl --version >/dev/null")) GTEST_SKIP() << "setfacl (acl) is missing";
  if (!sh("setfacl -d -m u:daemon:rwx,g::r-x,o::--- '" + dst.string() + "'"))
    GTEST_SKIP() << "no access lists on " << dst;
  const auto acl = [&](const fs::path& p) {
    const fs::path out = env.root() / "acl.txt";
    EXPECT_TRUE(sh("getfacl -c '" + p.string() + "' > '" + out.string() + "'"));
    return readText(out);
  };
  const fs::path shm = "/dev/shm";
  const fs::path across = shm / ("msifter-acl-" + std::to_string(::getpid()));
  struct Row {
    const char* name;
    const char* sourceList;  // "": none
    bool move;
  };
  const Row rows[] = {{"copied, no list", "", false},
                      {"copied, a list", "u:nobody:r--", false},
                      {"moved across, no list", "", true},
                      {"moved across, a list", "u:nobody:r--", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.move && !fs::is_directory(shm)) continue;
    const fs::path from = row.move ? across : src;
    for (const char* twin : {"ours", "mv"}) {
      writeText(from / twin, "photo");
      ASSERT_EQ(::chmod((from / twin).c_str(), 0644), 0);
      const std::string list = row.sourceList;
      if (!list.empty()) {
        ASSERT_TRUE(sh("setfacl -m " + list + " '" + (from / twin).string() + "'"));
      }
    }
    ASSERT_TRUE(
        (row.move ? moveFile(from / "ours", dst / "ours") : copyFile(from / "ours", dst / "ours"))
            .ok());
    ASSERT_TRUE(sh("mv '" + (from / "mv").string() + "' '" + (dst / "mv").string() + "'"));
    EXPECT_EQ(acl(dst / "ours"), acl(dst / "mv"));
    EXPECT_EQ(statOf(dst / "ours").st_mode, statOf(dst / "mv").st_mode);
    fs::remove_all(dst / "ours");
    fs::remove_all(dst / "mv");
    fs::remove_all(from / "ours");
  }
  fs::remove_all(across);
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
