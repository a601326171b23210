#include "engine/identical_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/syscalls.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

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
  int calls = 0;
  std::map<std::string, int> opened;
  std::set<std::string> unreadable;
};

void write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Larger than the compared head, with `tail` as its last byte.
std::string big(char fill, char tail) {
  std::string bytes(IdenticalFiles::kHeadBytes + 100, fill);
  bytes.back() = tail;
  return bytes;
}

TEST(IdenticalFiles, FindsOnlyTheSameBytes) {
  struct Row {
    const char* what;
    std::string there;  // in the folder as "there.bin"
    std::string source;
    bool found;
  };
  const Row rows[] = {
      {.what = "small, equal", .there = "abc", .source = "abc", .found = true},
      {.what = "small, same size", .there = "abc", .source = "abd", .found = false},
      {.what = "big, equal", .there = big('x', 'y'), .source = big('x', 'y'), .found = true},
      {.what = "big, last byte", .there = big('x', 'y'), .source = big('x', 'z'), .found = false},
      {.what = "big, first byte",
       .there = "q" + big('x', 'y'),
       .source = "r" + big('x', 'y'),
       .found = false},
      {.what = "empty", .there = "", .source = "", .found = true},
  };
  for (const Row& row : rows) {
    testing::TempEnv env;
    fs::create_directory(env.root() / "dst");
    write(env.root() / "dst" / "there.bin", row.there);
    write(env.root() / "src.bin", row.source);
    IdenticalFiles index;
    ASSERT_TRUE(index.open((env.root() / "dst").string()).ok());
    EXPECT_EQ(index.findIdentical((env.root() / "src.bin").string(),
                                  static_cast<int64_t>(row.source.size())),
              row.found ? "there.bin" : "")
        << row.what;
  }
}

TEST(IdenticalFiles, LinksTemporariesAndTheSourceItselfAreNoMatchSubfoldersAre) {
  testing::TempEnv env;
  const fs::path dst = env.root() / "dst";
  fs::create_directories(dst / "2024" / "05" / "01");
  fs::create_directories(env.root() / "elsewhere");
  write(env.root() / "src.bin", "photo");
  write(env.root() / "elsewhere" / "copy.bin", "photo");
  write(dst / ".m_sifter-42-f0.part", "photo");
  write(dst / "2024" / ".m_sifter-43-f0.part", "photo");
  write(dst / "self.bin", "other");
  fs::create_symlink(env.root() / "src.bin", dst / "link.bin");
  fs::create_directory_symlink(env.root() / "elsewhere", dst / "2024" / "linked");
  {
    IdenticalFiles index;
    ASSERT_TRUE(index.open(dst.string()).ok());
    EXPECT_EQ(index.findIdentical((env.root() / "src.bin").string(), 5), "");
    EXPECT_EQ(index.findIdentical((dst / "self.bin").string(), 5), "");
  }
  // A photo filed by hand into a folder by date is in the library.
  write(dst / "2024" / "05" / "01" / "copy.bin", "photo");
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
  for (int i = 0; i < 200; ++i) write(dst / (std::to_string(i) + ".jpg"), photo(i));
  for (int i = 0; i < 50; ++i) write(dst / ("e" + std::to_string(i)), "");
  write(env.root() / "a", photo(123));
  write(env.root() / "b", photo(9000));
  write(env.root() / "empty", "");

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
  for (const char* name : {"vanished", "locked", "kept"}) write(dst / name, "photo");
  write(env.root() / "src", "photo");
  write(env.root() / "new", "movie");

  CountingCalls calls;
  calls.unreadable = {"locked"};
  platform::ScopedSyscalls seam(calls);
  IdenticalFiles index;
  ASSERT_TRUE(index.open(dst.string()).ok());
  fs::remove(dst / "vanished");
  EXPECT_EQ(index.findIdentical((env.root() / "src").string(), 5), "kept");
  // Its digest is known now; a file changed since is another file.
  write(dst / "kept", "PHOTO");
  fs::last_write_time(dst / "kept", fs::last_write_time(dst / "kept") + std::chrono::seconds(1));
  EXPECT_EQ(index.findIdentical((env.root() / "src").string(), 5), "");

  EXPECT_EQ(index.findIdentical((env.root() / "new").string(), 5), "");
  fs::copy_file(env.root() / "new", dst / "arrived");
  index.add("arrived", 5);
  EXPECT_EQ(index.findIdentical((env.root() / "new").string(), 5), "arrived");
}

}  // namespace
}  // namespace msifter::engine
