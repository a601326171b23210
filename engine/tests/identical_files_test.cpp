// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/identical_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "common/sqlite.h"
#include "platform/syscalls.h"
#include "scratch_mount.h"
#include "sqlite_files.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::writeText;

// Counts the calls that reach files, per name opened in the folder, and
// refuses to open the names in `unreadable`.
class CountingCalls : public platform::Syscalls {
 public:
  int open(const char* path, int flags, mode_t mode) override {
    ++calls;
    return Syscalls::open(path, flags, mode);
  }
  int openAt(int dirFd, const char* path, int flags, mode_t mode) override {
    ++calls;
    ++opened[path];
    if (unreadable.count(path) != 0) {
      errno = EACCES;
      return -1;
    }
    return Syscalls::openAt(dirFd, path, flags, mode);
  }
  int fstatat(int dirFd, const char* name, struct stat* out, int flags) override {
    ++calls;
    return Syscalls::fstatat(dirFd, name, out, flags);
  }
  DIR* fdopendir(int fd) override {
    ++listings;
    return Syscalls::fdopendir(fd);
  }
  // Folders made by the test count as settled, as a library's folders are.
  std::time_t now() override { return Syscalls::now() + 60; }
  int calls = 0;
  int listings = 0;
  std::map<std::string, int> opened;
  std::set<std::string> unreadable;
};

// Larger than the compared head, with `tail` as its last byte.
std::string big(char fill, char tail) {
  std::string bytes(IdenticalFiles::kHeadBytes + 100, fill);
  bytes.back() = tail;
  return bytes;
}

TEST(IdenticalFiles, FindsOnlyTheSameBytes) {
  // The first in the folder as "there.bin", the second the source.
  const testing::BytesCase rows[] = {
      {.what = "small, equal", .first = "abc", .second = "abc", .same = true},
      {.what = "small, same size", .first = "abc", .second = "abd", .same = false},
      {.what = "big, equal", .first = big('x', 'y'), .second = big('x', 'y'), .same = true},
      {.what = "big, last byte", .first = big('x', 'y'), .second = big('x', 'z'), .same = false},
      {.what = "big, first byte",
       .first = "q" + big('x', 'y'),
       .second = "r" + big('x', 'y'),
       .same = false},
      {.what = "empty", .first = "", .second = "", .same = true},
  };
  for (const testing::BytesCase& row : rows) {
    testing::TempEnv env;
    fs::create_directory(env.root() / "dst");
    writeText(env.root() / "dst" / "there.bin", row.first);
    writeText(env.root() / "src.bin", row.second);
    IdenticalFiles index;
    ASSERT_TRUE(index.open((env.root() / "dst").string()).ok());
    EXPECT_EQ(index.findIdentical((env.root() / "src.bin").string(),
                                  static_cast<int64_t>(row.second.size())),
              row.same ? "there.bin" : "")
        << row.what;
  }
}

TEST(IdenticalFiles, LinksTemporariesAndTheSourceItselfAreNoMatchSubfoldersAre) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directories(dst / "2024" / "05" / "01");
  fs::create_directories(env.root() / "elsewhere");
  writeText(env.root() / "src.bin", "photo");
  writeText(env.root() / "elsewhere" / "copy.bin", "photo");
  writeText(dst / ".m_sifter-42-f0.part", "photo");
  writeText(dst / "2024" / ".m_sifter-43-f0.part", "photo");
  writeText(dst / "self.bin", "other");
  fs::create_symlink(env.root() / "src.bin", dst / "link.bin");
  fs::create_directory_symlink(env.root() / "elsewhere", dst / "2024" / "linked");
  {
    IdenticalFiles index;
    ASSERT_TRUE(index.open(dst.string()).ok());
    EXPECT_EQ(index.findIdentical((env.root() / "src.bin").string(), 5), "");
    EXPECT_EQ(index.findIdentical((dst / "self.bin").string(), 5), "");
  }
  // A photo filed by hand into a folder by date is in the library.
  writeText(dst / "2024" / "05" / "01" / "copy.bin", "photo");
  IdenticalFiles index;
  ASSERT_TRUE(index.open(dst.string()).ok());
  EXPECT_EQ(index.findIdentical((env.root() / "src.bin").string(), 5), "2024/05/01/copy.bin");
}

TEST(IdenticalFiles, ManyOfOneSizeAreReadOnceAndAMissNeedsNoCall) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directory(dst);
  // The same head, different last bytes: the worst case for the first look.
  const auto photo = [](int n) { return big('x', 'y') + std::to_string(1000 + n); };
  const auto size = static_cast<int64_t>(photo(0).size());
  for (int i = 0; i < 200; ++i) writeText(dst / (std::to_string(i) + ".jpg"), photo(i));
  for (int i = 0; i < 50; ++i) writeText(dst / ("e" + std::to_string(i)), "");
  writeText(env.root() / "a", photo(123));
  writeText(env.root() / "b", photo(9000));
  writeText(env.root() / "empty", "");

  CountingCalls calls;
  platform::ScopedSyscalls seam(calls);
  IdenticalFiles index;
  ASSERT_TRUE(index.open(dst.string()).ok());
  calls.calls = 0;
  EXPECT_EQ(index.findIdentical("/no/such/file", 7), "");
  EXPECT_EQ(calls.calls, 0);  // no file of that size: a look-up only

  calls.opened.clear();
  EXPECT_EQ(index.findIdentical((env.root() / "a").string(), size), "123.jpg");
  EXPECT_EQ(index.findIdentical((env.root() / "b").string(), size), "");
  EXPECT_EQ(index.findIdentical((env.root() / "a").string(), size), "123.jpg");
  EXPECT_FALSE(index.findIdentical((env.root() / "empty").string(), 0).empty());
  EXPECT_FALSE(index.findIdentical((env.root() / "empty").string(), 0).empty());
  for (const auto& [name, count] : calls.opened) EXPECT_EQ(count, 1) << name;
  EXPECT_EQ(calls.opened.size(), 250u);
}

TEST(IdenticalFiles, AddedChangedVanishedAndUnreadableFiles) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directory(dst);
  for (const char* name : {"vanished", "locked", "kept"}) writeText(dst / name, "photo");
  writeText(env.root() / "src", "photo");
  writeText(env.root() / "new", "movie");

  CountingCalls calls;
  calls.unreadable = {"locked"};
  platform::ScopedSyscalls seam(calls);
  IdenticalFiles index;
  ASSERT_TRUE(index.open(dst.string()).ok());
  fs::remove(dst / "vanished");
  EXPECT_EQ(index.findIdentical((env.root() / "src").string(), 5), "kept");
  // Its digest is known now; a file changed since is another file.
  writeText(dst / "kept", "PHOTO");
  fs::last_write_time(dst / "kept", fs::last_write_time(dst / "kept") + std::chrono::seconds(1));
  EXPECT_EQ(index.findIdentical((env.root() / "src").string(), 5), "");

  EXPECT_EQ(index.findIdentical((env.root() / "new").string(), 5), "");
  fs::copy_file(env.root() / "new", dst / "arrived");
  index.add("arrived", 5);
  EXPECT_EQ(index.findIdentical((env.root() / "new").string(), 5), "arrived");
}

// Every byte the same but the last: one head, two whole digests.
std::string tailed(char tail) { return big('x', tail); }

fs::path indexFile(const testing::TempEnv& env) {
  for (const auto& entry : fs::directory_iterator(env.cacheHome() / "m_sifter"))
    if (entry.path().extension() == ".sqlite") return entry.path();
  return {};
}

TEST(IdenticalFiles, TheIndexIsTrustedOnlyWhileFoldersAndFilesAreUnchanged) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directories(dst / "2024");
  // Every byte the same but the first: two heads.
  const auto headed = [](char first) { return first + tailed('Z').substr(1); };
  writeText(dst / "2024" / "a.jpg", tailed('A'));
  writeText(dst / "2024" / "b.jpg", tailed('C'));
  writeText(dst / "2024" / "e.jpg", headed('E'));
  for (const char tail : {'A', 'B'}) writeText(env.root() / std::string(1, tail), tailed(tail));
  writeText(env.root() / "F", headed('F'));
  const auto size = static_cast<int64_t>(tailed('A').size());
  const std::string a = (env.root() / "A").string();
  const std::string b = (env.root() / "B").string();
  CountingCalls calls;
  platform::ScopedSyscalls seam(calls);
  std::vector<IndexProgress> seen;
  IdenticalFiles::Options options;
  options.progress = [&seen](const IndexProgress& p) { seen.push_back(p); };
  {
    IdenticalFiles index(options);
    ASSERT_TRUE(index.open(dst.string()).ok());
    EXPECT_EQ(index.findIdentical(a, size), "2024/a.jpg");
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(seen.back().firstBuild);
  EXPECT_EQ(seen.back().files, 3);

  // New bytes of the same length, the modification time put back as it
  // was: only the change time tells, and the digests kept must not be used.
  // A kept digest that differs from the source's is no reason to pass a
  // changed file over either.
  for (const auto& [name, bytes] : {std::pair{"a.jpg", tailed('B')}, {"e.jpg", headed('F')}}) {
    const auto modified = fs::last_write_time(dst / "2024" / name);
    writeText(dst / "2024" / name, bytes);
    fs::last_write_time(dst / "2024" / name, modified);
  }
  calls.listings = 0;
  calls.opened.clear();
  {
    IdenticalFiles index(options);
    ASSERT_TRUE(index.open(dst.string()).ok());
    EXPECT_FALSE(seen.back().firstBuild);
    EXPECT_EQ(calls.listings, 0);  // no folder listed again
    EXPECT_EQ(index.findIdentical(b, size), "2024/a.jpg");
    EXPECT_EQ(index.findIdentical(a, size), "");
    EXPECT_EQ(index.findIdentical((env.root() / "F").string(), size), "2024/e.jpg");
  }
  EXPECT_EQ(calls.opened["2024/b.jpg"], 0);  // its kept digests told it apart

  // A photo filed by hand into a known folder changes the folder.
  writeText(dst / "2024" / "c.jpg", tailed('A'));
  IdenticalFiles index(options);
  ASSERT_TRUE(index.open(dst.string()).ok());
  EXPECT_EQ(index.findIdentical(a, size), "2024/c.jpg");
}

TEST(IdenticalFiles, ADamagedLockedOrUnwritableIndexNeverFailsARun) {
  enum class Harm { Garbage, BadListing, Locked, ReadOnly, NotAFolder };
  for (const Harm harm :
       {Harm::Garbage, Harm::BadListing, Harm::Locked, Harm::ReadOnly, Harm::NotAFolder}) {
    testing::TempEnv env;
    const fs::path dst = env.root() / "dst";
    fs::create_directories(dst / "sub");
    writeText(dst / "sub" / "copy.jpg", "photo");
    writeText(env.root() / "src.jpg", "photo");
    CountingCalls calls;
    platform::ScopedSyscalls seam(calls);
    {
      IdenticalFiles index;
      ASSERT_TRUE(index.open(dst.string()).ok());
    }
    const fs::path file = indexFile(env);
    ASSERT_FALSE(file.empty());
    sqlite3* holder = nullptr;
    if (harm == Harm::Garbage) writeText(file, std::string(4096, '\x5a'));
    if (harm == Harm::BadListing) {
      ASSERT_TRUE(testing::runSql(file, "UPDATE folders SET listing = x'0102'"));
    }
    if (harm == Harm::Locked) {
      ASSERT_EQ(sqlite3_open(file.c_str(), &holder), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    std::optional<testing::ScratchMount> readOnly;
    if (harm == Harm::ReadOnly) {
      readOnly.emplace(env.root() / "ro-cache");
      if (!readOnly->mounted()) GTEST_SKIP() << "no tmpfs to mount";
      ASSERT_EQ(
          ::mount(nullptr, readOnly->path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
      env.setVar("XDG_CACHE_HOME", readOnly->path().string());
    }
    if (harm == Harm::NotAFolder) env.setVar("XDG_CACHE_HOME", file.string());
    {
      IdenticalFiles index;
      ASSERT_TRUE(index.open(dst.string()).ok());
      EXPECT_EQ(index.findIdentical((env.root() / "src.jpg").string(), 5), "sub/copy.jpg");
    }
    if (holder != nullptr) sqlite3_close(holder);
    // Both folders are known again: a damaged file was started anew and
    // filled, any other was left as it was.
    EXPECT_EQ(testing::firstValue(file, "SELECT count(*) FROM folders"), "2");
  }
}

TEST(IdenticalFiles, ASidecarIsNeverSkippedOnItsOwn) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directories(dst);
  const char* const names[] = {"IMG_0001.XMP", "IMG_0001.CR2.xmp", "IMG_0001.thm", "IMG_0001.AAE",
                               "IMG_0001.JPG"};
  for (const char* name : names) {
    writeText(dst / name, std::string("in library: ") + name);
    writeText(env.root() / name, std::string("in library: ") + name);
  }
  IdenticalFiles index;
  ASSERT_TRUE(index.open(dst.string()).ok());
  for (const char* name : names) {
    const std::string source = (env.root() / name).string();
    const auto size = static_cast<int64_t>(fs::file_size(source));
    const bool sidecar = std::string_view(name) != "IMG_0001.JPG";
    EXPECT_EQ(isSidecar(name), sidecar) << name;
    EXPECT_EQ(index.findIdentical(source, size), sidecar ? "" : name) << name;
    EXPECT_EQ(index.findCopy(source, size), name) << name;
  }
  for (const char* other : {".xmp", "xmp", "a.xmpp", "dir.xmp/photo.jpg", "a.jpg"})
    EXPECT_FALSE(isSidecar(other)) << other;
}

// Every file has the same digest: only the bytes can tell them apart.
class Colliding : public ContentDigest {
  class State : public DigestState {
    void update(const unsigned char*, std::size_t) override {}
    Digest finish() override { return Digest{}; }
  };

 public:
  std::string name() const override { return "colliding"; }
  std::unique_ptr<DigestState> start() const override { return std::make_unique<State>(); }
};

TEST(IdenticalFiles, EqualDigestsAreNeverAMatch) {
  const testing::BytesCase rows[] = {
      {.what = "small", .first = "abc", .second = "abd", .same = false},
      {.what = "big, first byte",
       .first = "q" + big('x', 'y'),
       .second = "r" + big('x', 'y'),
       .same = false},
      {.what = "big, last byte", .first = big('x', 'y'), .second = big('x', 'z'), .same = false},
      {.what = "big, equal", .first = big('x', 'y'), .second = big('x', 'y'), .same = true},
  };
  const Colliding colliding;
  for (const testing::BytesCase& row : rows) {
    testing::TempEnv env;
    fs::create_directory(env.root() / "dst");
    writeText(env.root() / "dst" / "there.bin", row.first);
    writeText(env.root() / "dst" / "twin.bin", row.first);
    writeText(env.root() / "src.bin", row.second);
    IdenticalFiles::Options options;
    options.digest = &colliding;
    IdenticalFiles index(options);
    ASSERT_TRUE(index.open((env.root() / "dst").string()).ok());
    const std::string found = index.findIdentical((env.root() / "src.bin").string(),
                                                  static_cast<int64_t>(row.second.size()));
    EXPECT_EQ(!found.empty(), row.same) << row.what << ": " << found;
  }
}

// A large file whose digests are known is compared in two halves at once:
// a difference in either half, to the last byte, is no match.
TEST(IdenticalFiles, LargeFilesAreComparedToTheLastByte) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directory(dst);
  std::string photo(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<char>(i * 7 % 251);
  writeText(dst / "photo.jpg", photo);
  const auto size = static_cast<int64_t>(photo.size());
  {
    IdenticalFiles index;  // the copy's digests are learnt and kept
    ASSERT_TRUE(index.open(dst.string()).ok());
    writeText(env.root() / "same.jpg", photo);
    ASSERT_EQ(index.findIdentical((env.root() / "same.jpg").string(), size), "photo.jpg");
  }
  for (const std::size_t flipped : {std::size_t{0}, std::size_t{IdenticalFiles::kHeadBytes + 1},
                                    photo.size() / 2 + 5, photo.size() - 1}) {
    std::string source = photo;
    source[flipped] = static_cast<char>(source[flipped] ^ 1);
    writeText(env.root() / "other.jpg", source);
    IdenticalFiles index;
    ASSERT_TRUE(index.open(dst.string()).ok());
    EXPECT_EQ(index.findIdentical((env.root() / "other.jpg").string(), size), "") << flipped;
    EXPECT_EQ(index.findIdentical((env.root() / "same.jpg").string(), size), "photo.jpg");
  }
}

}  // namespace
}  // namespace msifter::engine
