// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/finder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <utility>

#include "common/failure.h"
#include "engine/run.h"
#include "isolated_test.h"
#include "platform/directory.h"
#include "platform/syscalls.h"
#include "source_folder_test.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

TEST(MatchesPattern, Table) {
  using NameAndPattern = std::pair<const char*, const char*>;
  const NameAndPattern matching[] = {
      {"A.JPG", "*.JPG*"},
      {"B.JPG.BAK", "*.JPG*"},
      {"C.JPGX", "*.JPG*"},
      {"X.TIFF", "*.TIF*"},
      {"README", "**"},
      {"", "**"},
      {"", ""},
      {"ABC", "ABC"},
      {"ABC", "A?C"},
      {"A1C", "A#C"},
      {"IMG_0042.JPG", "IMG_####.*"},
      {"B", "[ABC]"},
      {"D", "[!ABC]"},
      {"Q", "[A-Z]"},
      {"5", "[!A-Z]"},
      {"-", "[A-]"},  // "-" last in a list is itself
      {"-", "[-A]"},
      {"!", "[A!]"},  // "!" not first is itself
      {"[", "[[]"},
      {"*", "[*]"},    // pattern characters lose their meaning in a list
      {"AB", "A[]B"},  // an empty list takes no character
      {"AXB", "A[!]B"},
      {"A.B.C", "*.*.*"},
      {"AAAB", "*A*AB"},  // needs backtracking
      // Multi-byte characters count as one character each.
      {"夏.JPG", "?.JPG"},
      {"夏.JPG", "[春夏].JPG"},
      {"秋.JPG", "[!春夏].JPG"},
      // Bytes that are not UTF-8 are characters of their own.
      {"BAD\xFF.JPG", "BAD?.JPG"},
      {"BAD\xFF\xFE.JPG", "*\xFE.JPG"},
  };
  const NameAndPattern notMatching[] = {
      {"D.JPEG", "*.JPG*"},
      {"README", "*.BMP*"},
      {"A", ""},
      {"ABCD", "ABC"},
      {"AC", "A?C"},
      {"AXC", "A#C"},
      {"IMG_004.JPG", "IMG_####.*"},
      {"D", "[ABC]"},
      {"A", "[!ABC]"},
      {"5", "[A-Z]"},
      {"X", "[*]"},
      {"A.B", "*.*.*"},
      {"AAB", "A*AAB"},  // the pieces may not overlap
      // Multi-byte characters count as one character each.
      {"夏.JPG", "??.JPG"},
      // Bytes that are not UTF-8 are characters of their own.
      {"\xE5\xA4\x8F", "*\xA4*"},  // never a piece of a valid character
  };
  for (const auto& [name, pattern] : matching)
    EXPECT_TRUE(matchesPattern(name, pattern)) << name << " ~ " << pattern;
  for (const auto& [name, pattern] : notMatching)
    EXPECT_FALSE(matchesPattern(name, pattern)) << name << " ~ " << pattern;
}

TEST(MatchesPattern, InvalidListsFail) {
  for (const char* pattern : {"*[A*", "[", "*[!*", "[Z-A]"}) {
    try {
      matchesPattern("A", pattern);
      ADD_FAILURE() << pattern << " was accepted";
    } catch (const common::RuntimeFailure& e) {
      EXPECT_EQ(e.number(), common::err::InvalidArgument) << pattern;
    }
  }
}

class FinderTest : public testing::SourceFolderTest {
 protected:
  // The search of the source folder as the transfer run makes it, into
  // `list`, `label` and `totals`; a test changes what it needs.
  FindRequest transferSearch() {
    TransferOptions everything;
    everything.serverDir = dir();
    everything.targetList = "*";
    everything.subFolder = true;
    return engine::transferSearch(everything, &list, &label);
  }
  bool find(const FindRequest& request) { return findFiles(request, totals); }
  void clearResults() {
    list.clear();
    label.captions.clear();
    totals = {};
  }
  // Searches the source folder for `patterns` and checks the bare names found.
  void expectNamesFound(const std::string& patterns, const std::vector<std::string>& names) {
    clearResults();
    FindRequest request = transferSearch();
    request.patternList = patterns;
    request.fullPath = false;
    ASSERT_TRUE(find(request)) << patterns;
    EXPECT_EQ(list, names) << patterns;
    EXPECT_EQ(totals.fileCount, static_cast<int32_t>(names.size())) << patterns;
  }
  int reports(const std::string& name = "gFindFile") const {
    const std::string log = env.errorLog();
    const std::string needle = name + " (";
    int n = 0;
    for (auto at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
    return n;
  }

  std::vector<std::string> list;
  FindTotals totals;
};

TEST_F(FinderTest, TrailingSeparatorOrNotSearchesTheSameFolder) {
  file("a.jpg");
  file("sub/b.jpg");
  for (const std::string& folder : {dir(), dir() + "/"}) {
    clearResults();
    FindRequest request = transferSearch();
    request.folder = folder;
    ASSERT_TRUE(find(request));
    EXPECT_EQ(list, (std::vector<std::string>{dir("a.jpg"), dir("sub/b.jpg")})) << folder;
    EXPECT_EQ(label.captions, (std::vector<std::string>{dir() + "/", dir("sub/")}));
  }
}

TEST_F(FinderTest, PatternListSelectsFiles) {
  for (const char* name : {"a.jpg", "b.JPG.bak", "c.jpgx", "d.jpeg", "x.tiff", "NODOT", "e.bmp"})
    file(name);
  struct Row {
    std::string patterns;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {"*.JPG", {"a.jpg", "b.JPG.bak", "c.jpgx"}},
      {"*.TIFF;*.TIF", {"x.tiff"}},  // matched once, counted once
      {"*.BMP;*.GIF;*.TIFF;*.TIF;*.JPG;*.JPEG;*.PNG;*.PCD",
       {"a.jpg", "b.JPG.bak", "c.jpgx", "d.jpeg", "e.bmp", "x.tiff"}},
      {"*", {"a.jpg", "b.JPG.bak", "c.jpgx", "d.jpeg", "e.bmp", "NODOT", "x.tiff"}},
      {"", {"a.jpg", "b.JPG.bak", "c.jpgx", "d.jpeg", "e.bmp", "NODOT", "x.tiff"}},
      {"*.BMP;;*.GIF", {"a.jpg", "b.JPG.bak", "c.jpgx", "d.jpeg", "e.bmp", "NODOT", "x.tiff"}},
      {"*.bmp", {"e.bmp"}},  // patterns are upper-cased too
      {"*.BMP;", {"e.bmp"}},
      {"[A-C].*", {"a.jpg", "b.JPG.bak", "c.jpgx"}},
  };
  for (const auto& r : rows) expectNamesFound(r.patterns, r.names);
}

// An exact extension is the text after the last dot, in any case; a pattern
// finds its text anywhere in the name.
TEST_F(FinderTest, ExactExtensionsTakeTheLastExtensionOnly) {
  for (const char* name :
       {"a.cr2", "B.CR2", "d.Cr2", ".cr2", "a.cr2.bak", "a.xcr2", "e.ｃｒ２", "nodot", "raw."})
    file(name);
  struct Row {
    std::string patterns;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {"/CR2", {".cr2", "a.cr2", "B.CR2", "d.Cr2"}},
      {"/cr2", {".cr2", "a.cr2", "B.CR2", "d.Cr2"}},
      {"CR2", {".cr2", "a.cr2", "a.cr2.bak", "a.xcr2", "B.CR2", "d.Cr2"}},
      {"/BAK;/CR2", {".cr2", "a.cr2", "a.cr2.bak", "B.CR2", "d.Cr2"}},
      {"*.JPG;/ＣＲ２", {"e.ｃｒ２"}},
      {"/", {"raw."}},  // an empty extension: a name ending in its dot
      {"[/]CR2", {}},   // an item of the window's that starts with the mark
  };
  for (const auto& r : rows) expectNamesFound(r.patterns, r.names);
}

TEST_F(FinderTest, LettersBeyondAsciiMatchInEitherCase) {
  for (const char* name :
       {"写真.ＪＰＧ", "ÄRGER.txt", "photo.jpg", "Ωmega.doc", "файл.TXT", "ｼｬｼﾝ.jpg"})
    file(name);
  struct Row {
    std::string patterns;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {"ｊｐｇ", {"写真.ＪＰＧ"}},  // full-width letters are not the ASCII JPG
      {"*.JPG", {"photo.jpg", "ｼｬｼﾝ.jpg"}},
      {"ärger", {"ÄRGER.txt"}},
      {"ωMEGA", {"Ωmega.doc"}},
      {"ФАЙЛ.txt", {"файл.TXT"}},
      {"[а-я]*", {"файл.TXT"}},
      {"*", {"photo.jpg", "ÄRGER.txt", "Ωmega.doc", "файл.TXT", "写真.ＪＰＧ", "ｼｬｼﾝ.jpg"}},
  };
  for (const auto& r : rows) expectNamesFound(r.patterns, r.names);
}

TEST_F(FinderTest, SizeBoundsAreInclusive) {
  for (int size : {1023, 1024, 2048, 2049}) file("f" + std::to_string(size) + ".dat", size);
  FindRequest request = transferSearch();
  request.fullPath = false;
  request.bounds.useMinSize = true;
  request.bounds.minSizeBytes = 1024;
  request.bounds.useMaxSize = true;
  request.bounds.maxSizeBytes = 2048;
  ASSERT_TRUE(find(request));
  EXPECT_EQ(list, (std::vector<std::string>{"f1024.dat", "f2048.dat"}));
  EXPECT_EQ(totals.fileCount, 2);
  EXPECT_EQ(totals.byteTotal, 1024 + 2048);
}

TEST_F(FinderTest, FilesOf2GiBAndMoreAreSizedFilteredAndCounted) {
  file("small.bin", 10);
  const int64_t big = (int64_t{3} << 30) + 5;  // beyond every 32-bit range
  const fs::path bigPath = dir("big.bin");
  file("big.bin", 1);
  ASSERT_EQ(::truncate(bigPath.c_str(), big), 0);

  FindRequest atLeast2GiB = transferSearch();
  atLeast2GiB.fullPath = false;
  atLeast2GiB.bounds.useMinSize = true;
  atLeast2GiB.bounds.minSizeBytes = int64_t{2} << 30;
  ASSERT_TRUE(find(atLeast2GiB));
  EXPECT_EQ(list, (std::vector<std::string>{"big.bin"}));
  EXPECT_EQ(totals.byteTotal, big);

  clearResults();
  totals.byteTotal = big;  // totals run on from the caller's value
  ASSERT_TRUE(find(transferSearch()));
  EXPECT_EQ(totals.byteTotal, 2 * big + 10);

  clearResults();
  FindRequest capped = transferSearch();
  capped.bounds.useMaxSize = true;
  capped.bounds.maxSizeBytes = big - 1;
  ASSERT_TRUE(find(capped));
  EXPECT_EQ(list, (std::vector<std::string>{dir("small.bin")}));
}

TEST_F(FinderTest, CountLimitKeepsTheFirstFilesAndStopsTheSearch) {
  for (const char* name : {"e.jpg", "a.jpg", "C.jpg", "b.jpg", "d.jpg"}) file(name);
  file("sub/f.jpg");
  file("sub/g.jpg");
  FindRequest request = transferSearch();
  request.fullPath = false;
  request.bounds.useCountLimit = true;
  request.bounds.countLimit = 3;
  ASSERT_TRUE(find(request));
  EXPECT_EQ(list, (std::vector<std::string>{"a.jpg", "b.jpg", "C.jpg"}));
  EXPECT_EQ(totals.fileCount, 3);
  EXPECT_EQ(label.captions, (std::vector<std::string>{dir() + "/"}));
}

TEST_F(FinderTest, CountLimitZeroTouchesNothing) {
  file("a.jpg");
  FindRequest request = transferSearch();
  request.bounds.useCountLimit = true;
  request.bounds.countLimit = 0;
  ASSERT_TRUE(find(request));
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(label.captions.empty());
}

TEST_F(FinderTest, DepthFirstPreOrderInNameOrder) {
  for (const char* name :
       {"z.jpg", "B/y.jpg", "B/a/x.jpg", "a/w.jpg", "a/C/v.jpg", "a/b/u.jpg", "m.jpg"})
    file(name);
  ASSERT_TRUE(find(transferSearch()));
  EXPECT_EQ(list,
            (std::vector<std::string>{dir("m.jpg"), dir("z.jpg"), dir("a/w.jpg"), dir("a/b/u.jpg"),
                                      dir("a/C/v.jpg"), dir("B/y.jpg"), dir("B/a/x.jpg")}));
  EXPECT_EQ(label.captions, (std::vector<std::string>{dir() + "/", dir("a/"), dir("a/b/"),
                                                      dir("a/C/"), dir("B/"), dir("B/a/")}));
}

TEST_F(FinderTest, NoLabelIsNeeded) {
  file("sub/a.jpg");
  FindRequest request = transferSearch();
  request.progressLabel = nullptr;
  ASSERT_TRUE(find(request));
  EXPECT_EQ(list.size(), 1u);
}

TEST_F(FinderTest, HiddenFilesAndFoldersAreSearched) {
  file(".hidden.jpg");
  file(".cache/x.jpg");
  ASSERT_TRUE(find(transferSearch()));
  EXPECT_EQ(list, (std::vector<std::string>{dir(".hidden.jpg"), dir(".cache/x.jpg")}));
}

TEST_F(FinderTest, NamesThatAreNotUtf8ReachTheListUnchanged) {
  const std::string name = "\x83\x74\x83\x40\x83\x43\x83\x8B.JPG";  // Shift-JIS bytes
  file(name, 7);
  file("\xE5\xA4\x8F/\xFFok.jpg");
  FindRequest request = transferSearch();
  request.patternList = "*.JPG";
  ASSERT_TRUE(find(request));
  EXPECT_EQ(list, (std::vector<std::string>{dir(name), dir("\xE5\xA4\x8F/\xFFok.jpg")}));
  EXPECT_EQ(totals.byteTotal, 7);
}

TEST_F(FinderTest, TaggedEntriesAndFolderEntries) {
  file("a.jpg", 1);
  file("sub/b.jpg", 2);
  file("sub/deeper/c.jpg", 3);
  FindRequest tagged = transferSearch();
  tagged.tagged = true;
  tagged.listFolders = true;
  ASSERT_TRUE(find(tagged));
  EXPECT_EQ(list, (std::vector<std::string>{
                      "_____file1*" + dir("a.jpg"), "directory1*" + dir("sub/"),
                      "_____file2*" + dir("sub/b.jpg"), "directory2*" + dir("sub/deeper/"),
                      "_____file3*" + dir("sub/deeper/c.jpg")}));

  clearResults();
  FindRequest untagged = transferSearch();
  untagged.listFolders = true;
  untagged.fullPath = false;
  std::vector<int64_t> sizes;
  untagged.resultSizes = &sizes;
  ASSERT_TRUE(find(untagged));
  EXPECT_EQ(list,
            (std::vector<std::string>{"a.jpg", dir("sub/"), "b.jpg", dir("sub/deeper/"), "c.jpg"}));
  EXPECT_EQ(sizes, (std::vector<int64_t>{1, -1, 2, -1, 3}));

  // Without subfolders nothing below is entered or listed.
  clearResults();
  FindRequest topOnly = transferSearch();
  topOnly.subFolders = false;
  topOnly.listFolders = true;
  ASSERT_TRUE(find(topOnly));
  EXPECT_EQ(list, (std::vector<std::string>{dir("a.jpg")}));
}

TEST_F(FinderTest, MissingFolderContributesNothing) {
  FindRequest request = transferSearch();
  request.folder = dir("missing");
  EXPECT_TRUE(find(request));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(reports(), 0);
}

TEST_F(FinderTest, LinkToAFolderIsNotFollowed) {
  file("a.jpg");
  fs::create_directory_symlink(dir(), dir("loop"));
  ASSERT_TRUE(find(transferSearch()));
  EXPECT_EQ(list, (std::vector<std::string>{dir("a.jpg")}));
}

// Pipes, sockets and devices are no files to sort (a copy would stall or
// fail the run), nor are links to them or a transfer's leftover temporary;
// a link to a file, even one that leads nowhere, still counts as a file.
TEST_F(FinderTest, OnlyFilesAndLinksToFilesAreListed) {
  file("a.jpg", 3);
  file(".m_sifter-4242-7.part", 5);
  ASSERT_EQ(::mkfifo(dir("pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink(dir("pipe.jpg"), dir("pipe-link.jpg"));
  fs::create_symlink(dir("a.jpg"), dir("file-link.jpg"));
  fs::create_symlink(dir("nowhere.jpg"), dir("dangling.jpg"));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir("socket.jpg");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(sock);

  // Also where the file system leaves the kind of each entry unknown.
  struct KindsUnknown : platform::Syscalls {
    struct dirent* readdir(DIR* d) override {
      struct dirent* e = Syscalls::readdir(d);
      if (e != nullptr) e->d_type = DT_UNKNOWN;
      return e;
    }
  } unknown;
  for (const bool kindsKnown : {true, false}) {
    SCOPED_TRACE(kindsKnown ? "kinds known" : "kinds unknown");
    std::optional<platform::ScopedSyscalls> scoped;
    if (!kindsKnown) scoped.emplace(unknown);
    clearResults();
    ASSERT_TRUE(find(transferSearch()));
    EXPECT_EQ(list,
              (std::vector<std::string>{dir("a.jpg"), dir("dangling.jpg"), dir("file-link.jpg")}));
  }
}

TEST_F(FinderTest, DeviceNodesAreNotListed) {
  file("a.jpg");
  if (::mknod(dir("null.jpg").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) != 0)
    GTEST_SKIP() << "device nodes cannot be made here: " << std::strerror(errno);
  fs::create_symlink(dir("null.jpg"), dir("null-link.jpg"));
  ASSERT_TRUE(find(transferSearch()));
  EXPECT_EQ(list, std::vector<std::string>{dir("a.jpg")});
}

TEST_F(FinderTest, UnclosedListFailsOnceForEveryLevel) {
  struct Row {
    std::vector<std::string> files;
    int reports;
  };
  const Row rows[] = {
      {.files = {"a.txt"}, .reports = 1},
      {.files = {"sub/deeper/a.txt"}, .reports = 3},  // the failure starts three levels down
      {.files = {"a.jpg"}, .reports = 0},  // "*.JPG" matches first, the bad item is never tried
  };
  for (const auto& r : rows) {
    testing::TempEnv local;
    for (const auto& f : r.files) local.writeFile(fs::path("src") / f);
    const int before = reports();
    FindRequest request = transferSearch();
    request.folder = (local.root() / "src").string();
    request.patternList = "*.JPG;[A";
    EXPECT_EQ(find(request), r.reports == 0) << r.files.front();
    const std::string log = local.errorLog();
    int n = 0;
    for (auto at = log.find("gFindFile ("); at != std::string::npos;
         at = log.find("gFindFile (", at + 1))
      ++n;
    EXPECT_EQ(n, r.reports) << r.files.front();
    EXPECT_EQ(reports(), before);
  }
}

TEST_F(FinderTest, FileCountAtItsLargestValueIsAnOverflow) {
  file("a.jpg");
  totals.fileCount = std::numeric_limits<int32_t>::max();
  EXPECT_FALSE(find(transferSearch()));
  EXPECT_EQ(totals.fileCount, std::numeric_limits<int32_t>::max());
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(reports(), 1);
  EXPECT_NE(env.errorLog().find("エラー番号：6"), std::string::npos);
}

// Fails the folder calls for one folder chosen by the test.
class FailingFolder : public platform::Syscalls {
 public:
  enum class Call { None, Open, Size, Read } call = Call::None;
  std::string folder;  // as the finder opens it, with its trailing separator
  std::string name;    // the same folder as opened beneath its parent

  int open(const char* path, int flags, mode_t mode) override {
    if (call == Call::Open && path == folder) return failWith(EACCES);
    const int fd = Syscalls::open(path, flags, mode);
    if (path == folder) folderFd_ = fd;
    return fd;
  }
  int openAt(int dirFd, const char* path, int flags, mode_t mode) override {
    if (call == Call::Open && path == name) return failWith(EACCES);
    const int fd = Syscalls::openAt(dirFd, path, flags, mode);
    if (path == name) folderFd_ = fd;
    return fd;
  }
  int fstatat(int dirFd, const char* entry, struct stat* out, int flags) override {
    if (call == Call::Size && dirFd == folderFd_) return failWith(EIO);
    return Syscalls::fstatat(dirFd, entry, out, flags);
  }
  struct dirent* readdir(DIR* dir) override {
    if (call == Call::Read) {
      errno = EIO;
      return nullptr;
    }
    return Syscalls::readdir(dir);
  }

 private:
  static int failWith(int error) {
    errno = error;
    return -1;
  }
  int folderFd_ = -1;
};

TEST_F(FinderTest, PlatformFaults) {
  file("a.jpg");
  file("sub/b.jpg");
  FailingFolder calls;
  calls.folder = dir("sub/");
  calls.name = "sub";
  platform::ScopedSyscalls seam(calls);
  calls.call = FailingFolder::Call::Open;
  // A folder that cannot be opened is passed over, not an error.
  EXPECT_TRUE(find(transferSearch()));
  EXPECT_EQ(list, (std::vector<std::string>{dir("a.jpg")}));
  EXPECT_EQ(reports(), 0);
  calls.call = FailingFolder::Call::Size;
  EXPECT_FALSE(find(transferSearch()));
  EXPECT_EQ(reports(), 2);
  calls.call = FailingFolder::Call::Read;
  EXPECT_FALSE(find(transferSearch()));
  EXPECT_EQ(reports(), 3);
}

// Puts a link in the place of the folder `folder` as soon as the listing
// that showed it is closed: between the listing and the descent.
class SwapAfterListing : public platform::Syscalls {
 public:
  fs::path folder;
  fs::path target;
  bool withoutOpenat2 = false;

  struct dirent* readdir(DIR* d) override {
    struct dirent* e = Syscalls::readdir(d);
    if (e != nullptr && !swapped_ && folder.filename() == e->d_name) showing_ = d;
    return e;
  }
  int closedir(DIR* d) override {
    const bool swap = d == showing_ && !swapped_;
    const int rc = Syscalls::closedir(d);
    if (swap) {
      swapped_ = true;
      fs::rename(folder, folder.string() + ".away");
      fs::create_directory_symlink(target, folder);
    }
    return rc;
  }
  int openAt2(int dirFd, const char* path, int flags, uint64_t resolve) override {
    if (!withoutOpenat2) return Syscalls::openAt2(dirFd, path, flags, resolve);
    errno = ENOSYS;
    return -1;
  }

 private:
  DIR* showing_ = nullptr;
  bool swapped_ = false;
};

TEST_F(FinderTest, AFolderSwappedForALinkIsNeitherSearchedNorPassedOverSilently) {
  std::string deep;
  for (int level = 0; level < 70; ++level) deep += "d/";  // beyond the levels kept open
  struct Row {
    const char* name;
    std::string parent;  // of the swapped folder
    bool toOutside;
    bool withoutOpenat2;
  };
  const Row rows[] = {{"link to a folder of the tree", "", false, false},
                      {"link out of the tree", "", true, false},
                      {"deep, link out of the tree", deep, true, false},
                      {"deep, without openat2", deep, true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempEnv local;
    const fs::path src = local.root() / "src";
    local.writeFile("src/a.jpg");
    local.writeFile("src/" + row.parent + "sub/b.jpg");
    local.writeFile("src/other/c.jpg");
    local.writeFile("outside/secret.jpg");
    SwapAfterListing swap;
    swap.folder = src / (row.parent + "sub");
    swap.target = row.toOutside ? local.root() / "outside" : src / "other";
    swap.withoutOpenat2 = row.withoutOpenat2;
    clearResults();
    std::vector<NotSearched> notSearched;
    FindRequest request = transferSearch();
    request.folder = src.string();
    request.notSearched = &notSearched;
    {
      platform::ScopedSyscalls seam(swap);
      ASSERT_TRUE(find(request));
    }
    EXPECT_EQ(list,
              (std::vector<std::string>{(src / "a.jpg").string(), (src / "other/c.jpg").string()}));
    ASSERT_EQ(notSearched.size(), 1u);
    EXPECT_EQ(notSearched[0].path, (src / row.parent).string() + "sub/");
    EXPECT_EQ(notSearched[0].error, ELOOP);
    EXPECT_NE(local.errorLog().find(notSearched[0].path), std::string::npos);
  }
}

TEST_F(FinderTest, TheExcludedFolderIsLeftOutWhereverItLies) {
  for (const char* name : {"a.jpg", "sorted/old.jpg", "x/sorted/z.jpg"}) file(name);
  fs::create_directory_symlink(dir("x/sorted"), env.root() / "link");
  const std::pair<std::string, std::vector<std::string>> rows[] = {
      {dir("sorted"), {dir("a.jpg"), dir("x/sorted/z.jpg")}},
      {(env.root() / "link").string(), {dir("a.jpg"), dir("sorted/old.jpg")}},  // by identity
      {dir(), {}},  // the source itself: nothing below it
  };
  for (const auto& [excluded, found] : rows) {
    clearResults();
    FindRequest request = transferSearch();
    request.excludedFolder = excluded;
    ASSERT_TRUE(find(request)) << excluded;
    EXPECT_EQ(list, found) << excluded;
  }
}

// A path the system cannot take (longer than 4095 bytes) is said, not
// listed: the transfer could not reach it. Exactly at the limit is fine.
TEST_F(FinderTest, PathsTooLongToReachAreSaid) {
  fs::path folder = dir();
  while (folder.string().size() < 3900) folder /= std::string(100, 'f');
  const std::string at = folder.string() + "/";
  const std::size_t room = platform::kLongestPath - at.size();  // for a name in `folder`
  fs::create_directories(folder / std::string(room - 2, 'k'));  // "x" in it just fits
  fs::create_directories(folder / std::string(room - 1, 'l'));  // nothing in it fits
  std::ofstream(folder / std::string(room - 2, 'k') / "x");
  std::ofstream(folder / std::string(room, 'a'));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ::close(::openat(fd, std::string(room + 1, 'b').c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
  ::close(fd);

  std::vector<NotSearched> notSearched;
  FindRequest request = transferSearch();
  request.notSearched = &notSearched;
  ASSERT_TRUE(find(request));
  EXPECT_EQ(list, (std::vector<std::string>{at + std::string(room, 'a'),
                                            at + std::string(room - 2, 'k') + "/x"}));
  ASSERT_EQ(notSearched.size(), 2u);
  EXPECT_EQ(notSearched[0].path, at + std::string(room + 1, 'b'));
  EXPECT_EQ(notSearched[1].path, at + std::string(room - 1, 'l') + "/");
  for (const NotSearched& gap : notSearched) EXPECT_EQ(gap.error, ENAMETOOLONG);
}

}  // namespace
}  // namespace msifter::engine
