// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/file_reading.h"
#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::platform {
namespace {

namespace fs = std::filesystem;

TEST(FolderListing, OnlyFilesAndFoldersNeverThroughALink) {
  testing::TempEnv env;
  const fs::path top = env.root() / "top";
  env.writeFile("top/photo.jpg", 7);
  env.writeFile("top/2024/05/old.jpg", 3);
  env.writeFile("top/.m_sifter-42-f0.part", 7);
  env.writeFile("elsewhere/outside.jpg", 7);
  fs::create_symlink(top / "photo.jpg", top / "link.jpg");
  fs::create_directory_symlink(env.root() / "elsewhere", top / "linked");
  ASSERT_EQ(::mkfifo((top / "pipe").c_str(), 0600), 0);

  UniqueFd root;
  FileIdentity rootIdentity;
  ASSERT_TRUE(openTreeRoot(top.string(), root, rootIdentity).ok());
  FileIdentity identity;
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(listFolder(root.get(), "", identity, entries).ok());
  EXPECT_EQ(identity, rootIdentity);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "2024");
  EXPECT_EQ(entries[0].kind, FolderEntry::Kind::Folder);
  EXPECT_EQ(entries[1].name, "photo.jpg");
  EXPECT_EQ(entries[1].kind, FolderEntry::Kind::File);
  EXPECT_EQ(entries[1].identity.size, 7);
  struct stat st {};
  ASSERT_EQ(::stat((top / "photo.jpg").c_str(), &st), 0);
  EXPECT_EQ(entries[1].identity, identityOf(st));

  ASSERT_TRUE(listFolder(root.get(), "2024/05", identity, entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "old.jpg");
  EXPECT_TRUE(folderIdentity(root.get(), "2024/05", identity).ok());
  for (const char* notAFolder : {"linked", "photo.jpg", "pipe"}) {
    EXPECT_EQ(folderIdentity(root.get(), notAFolder, identity).code(), ENOTDIR) << notAFolder;
    EXPECT_FALSE(listFolder(root.get(), notAFolder, identity, entries).ok()) << notAFolder;
  }
}

TEST(FileReading, LinksPipesAndChangesShow) {
  testing::TempEnv env;
  const fs::path photo = env.writeFile("photo.jpg", 5, 'p');
  fs::create_symlink(photo, env.root() / "link.jpg");
  ASSERT_EQ(::mkfifo((env.root() / "pipe").c_str(), 0600), 0);

  ReadOnlyFile file;
  EXPECT_EQ(file.open((env.root() / "link.jpg").string(), LastLink::Refuse).code(), ELOOP);
  EXPECT_EQ(file.open((env.root() / "pipe").string(), LastLink::Follow).code(), EINVAL);
  ASSERT_TRUE(file.open((env.root() / "link.jpg").string(), LastLink::Follow).ok());
  unsigned char bytes[8] = {};
  std::size_t got = 0;
  ASSERT_TRUE(file.read(bytes, sizeof bytes, got).ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), got), "ppppp");
  ASSERT_TRUE(file.seek(3).ok());
  ASSERT_TRUE(file.read(bytes, sizeof bytes, got).ok());
  EXPECT_EQ(got, 2u);
  EXPECT_TRUE(file.unchanged());

  // New bytes of the same length under the old modification time: the
  // change time still tells.
  const auto modified = fs::last_write_time(photo);
  std::ofstream(photo, std::ios::binary | std::ios::in) << "q";
  fs::last_write_time(photo, modified);
  EXPECT_FALSE(file.unchanged());
  FileIdentity now;
  ASSERT_TRUE(identityAt(AT_FDCWD, photo.string(), LastLink::Refuse, now).ok());
  EXPECT_EQ(now.size, file.identity().size);
  EXPECT_EQ(now.modifiedNanoseconds, file.identity().modifiedNanoseconds);
  EXPECT_NE(now, file.identity());
}

void sumBytes(void* context) {
  auto& [window, sum] = *static_cast<std::pair<const FileWindow*, unsigned>*>(context);
  for (std::size_t i = 0; i < window->size(); i += 4096) sum += window->data()[i];
}

// A file cut short while it is seen in place ends the read, not the
// program; a fault anywhere else still ends it as it always did.
TEST(FileReading, AFileCutShortWhileMappedIsAFailedReadNotACrash) {
  testing::TempEnv env;
  const fs::path photo = env.writeFile("photo.jpg", 1 << 20, 'p');
  ReadOnlyFile file;
  ASSERT_TRUE(file.open(photo.string(), LastLink::Refuse).ok());
  FileWindow window;
  ASSERT_TRUE(file.map(0, 1 << 20, window).ok());
  std::pair<const FileWindow*, unsigned> read{&window, 0};
  EXPECT_TRUE(readMapped(sumBytes, &read));
  EXPECT_EQ(read.second, 256u * 'p');
  fs::resize_file(photo, 0);
  EXPECT_FALSE(readMapped(sumBytes, &read));
  EXPECT_FALSE(file.unchanged());

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const struct rlimit noCore {};
    ::setrlimit(RLIMIT_CORE, &noCore);
    sumBytes(&read);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  // Ended by the fault (or by a sanitizer's report of it), never returning.
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace msifter::platform
