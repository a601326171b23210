// SPDX-License-Identifier: GPL-3.0-or-later
// Folders by date below the destination, and a photo with its companions
// under one prefix: what the planner names, what a run makes and refuses,
// and what undo takes back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "common/failure.h"
#include "engine/file_groups.h"
#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/undo.h"
#include "fixed_clock.h"
#include "moments.h"
#include "platform/syscalls.h"
#include "transfer_test_base.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::writeText;

std::tm on(int year, int month, int day, int hour = 9) {
  return testing::moment(year, month, day, hour, 6, 37);
}

// Capture times by file name; a name without one falls back to 2000-01-01.
struct Captured : StampSource {
  std::map<std::string, std::tm> byName;
  Stamp stampOf(const std::string& source) override {
    return capturedAt(source).value_or(Stamp{on(2000, 1, 1), DateSource::Modified});
  }
  std::optional<Stamp> capturedAt(const std::string& source) override {
    const auto it = byName.find(fs::path(source).filename().string());
    if (it == byName.end()) return std::nullopt;
    return Stamp{it->second, DateSource::Exif};
  }
};

// Every file of a tree below `root`, as relative paths.
std::vector<std::string> filesBelow(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_directory()) files.push_back(fs::relative(e.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class LibraryFoldersTest : public testing::TransferTestBase {
 protected:
  Captured capture;
  MoveExtras extras{.stamps = &capture, .groups = true};

  void SetUp() override {
    TransferTestBase::SetUp();
    options.serverDir = src.string();
    options.folders = "%Y/%m/%d";
  }
  std::vector<std::string> put(std::initializer_list<const char*> names) {
    std::vector<std::string> paths;
    for (const char* name : names)
      paths.push_back(writeText(src / name, std::string("bytes of ") + name).string());
    return paths;
  }
  std::vector<std::string> planned(const std::vector<std::string>& sources) {
    std::vector<PlannedFile> plan;
    EXPECT_TRUE(planTransfers(sources, options, extras, plan));
    std::vector<std::string> names;
    for (const PlannedFile& file : plan) names.push_back(file.name);
    return names;
  }
};

TEST(FileGroups, BaseIsThePartBeforeKnownExtensions) {
  const std::pair<const char*, const char*> rows[] = {
      {"IMG_0001.CR2", "IMG_0001"},
      {"IMG_0001.CR2.xmp", "IMG_0001"},
      {"img_0001.jpeg", "img_0001"},
      {"my.holiday.jpg", "my.holiday"},
      {"IMG_0001.JPG.bak", ""},
      {"notes.txt", ""},
      {".jpg", ""},
      {"clip.MOV.AAE", "clip"},
      {"IMG_0001", ""},
      {"IMG_0001.txt.xmp", "IMG_0001.txt"},
  };
  for (const auto& [name, base] : rows) EXPECT_EQ(groupBase(name), base) << name;
}

// A group is one source folder and one base without case, wherever the
// search lists its members; a file alone is no group.
TEST(FileGroups, MembersShareFolderAndBase) {
  const FileGroups groups({"/c/IMG_1.CR2", "/c/sub/IMG_1.JPG", "/c/img_1.jpg", "/c/IMG_2.JPG",
                           "/c/z/x.jpg", "/c/IMG_1.CR2.xmp", "/c/notes.txt"});
  EXPECT_EQ(std::vector<uint32_t>(groups.membersOf(0).begin(), groups.membersOf(0).end()),
            (std::vector<uint32_t>{0, 2, 5}));
  EXPECT_EQ(groups.groupOf(5), groups.groupOf(0));
  const std::span<const uint32_t> members = groups.members(groups.groupOf(5));
  EXPECT_EQ(std::vector<uint32_t>(members.begin(), members.end()),
            (std::vector<uint32_t>{0, 2, 5}));
  for (const std::size_t alone : {1u, 3u, 4u, 6u}) EXPECT_EQ(groups.groupOf(alone), -1) << alone;
  EXPECT_EQ(groups.size(), 1u);
}

// Folders by the capture time; counters per folder and stamp, a name taken
// in a folder passed over; the preview names what the run then does.
TEST_F(LibraryFoldersTest, FilesGoIntoTheFolderOfTheirStamp) {
  capture.byName = {
      {"a.jpg", on(2024, 5, 1)}, {"b.jpg", on(2023, 12, 31)}, {"c.jpg", on(2024, 5, 1)}};
  writeText(dst / "2024/05/01/20240501090637_00000_a.jpg", "there before");
  const std::vector<std::string> sources = put({"a.jpg", "b.jpg", "c.jpg"});
  const std::vector<std::string> expected = {"2024/05/01/20240501090637_00001_a.jpg",
                                             "2023/12/31/20231231090637_00000_b.jpg",
                                             "2024/05/01/20240501090637_00002_c.jpg"};
  EXPECT_EQ(planned(sources), expected);
  EXPECT_FALSE(fs::exists(dst / "2023"));
  ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
  EXPECT_EQ(filesBelow(dst),
            (std::vector<std::string>{expected[1], "2024/05/01/20240501090637_00000_a.jpg",
                                      expected[0], expected[2]}));
}

// Serial names and the moment of the transfer file by the moment a file's
// first name is asked for; serial numbers count per folder.
TEST_F(LibraryFoldersTest, SerialNumbersCountPerFolder) {
  struct NextDayEachTime : testing::FixedClock {
    NextDayEachTime() { t = 1714554397; }  // 2024-05-01 09:06:37 UTC
    std::time_t now() override { return t += 86400; }
  } clock;
  platform::ScopedSyscalls scoped(clock);
  options.renameMethod = RenameMethod::SerialNumber;
  int32_t serial = 5;
  extras = {.serialNumber = &serial};
  ASSERT_TRUE(mMoveFile(put({"a.jpg", "b.jpg"}), options, extras, nullptr));
  EXPECT_EQ(filesBelow(dst), (std::vector<std::string>{"2024/05/02/0000000005_a.jpg",
                                                       "2024/05/03/0000000005_b.jpg"}));
  EXPECT_EQ(serial, 6);
}

// One capture time (a photo's, never a sidecar's), one prefix, one folder;
// a member's name taken moves the whole group on to the next number.
// Without groups each file is named by its own time.
TEST_F(LibraryFoldersTest, AGroupSharesOnePrefixAndFolder) {
  capture.byName = {{"IMG_0001.JPG", on(2024, 5, 1)},
                    {"IMG_0001.XMP", on(2021, 1, 1)},
                    {"b.jpg", on(2024, 5, 1)}};
  writeText(dst / "2024/05/01/20240501090637_00000_IMG_0001.XMP", "taken");
  // The CR2 tells no time of its own; the AAE is listed first.
  const std::vector<std::string> sources =
      put({"IMG_0001.AAE", "IMG_0001.CR2", "b.jpg", "IMG_0001.JPG", "IMG_0001.XMP"});
  const std::string p = "2024/05/01/20240501090637_00001_";
  const std::vector<std::string> grouped = {p + "IMG_0001.AAE", p + "IMG_0001.CR2",
                                            "2024/05/01/20240501090637_00002_b.jpg",
                                            p + "IMG_0001.JPG", p + "IMG_0001.XMP"};
  EXPECT_EQ(planned(sources), grouped);
  // A member's name tells where the group's moment came from: the CR2's is
  // the JPEG's capture time, not its own modification time.
  std::vector<PlannedFile> plan;
  ASSERT_TRUE(planTransfers(sources, options, extras, plan));
  EXPECT_EQ(plan[1].dateSource, DateSource::Exif);
  EXPECT_EQ(plan[2].dateSource, DateSource::Exif);

  extras.groups = false;
  EXPECT_EQ(planned(sources),
            (std::vector<std::string>{"2000/01/01/20000101090637_00000_IMG_0001.AAE",
                                      "2000/01/01/20000101090637_00001_IMG_0001.CR2",
                                      "2024/05/01/20240501090637_00000_b.jpg",
                                      "2024/05/01/20240501090637_00001_IMG_0001.JPG",
                                      "2021/01/01/20210101090637_00000_IMG_0001.XMP"}));
  extras.groups = true;
  ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
  for (const std::string& name : grouped) EXPECT_TRUE(fs::exists(dst / name)) << name;
  EXPECT_TRUE(filesBelow(src).empty());
}

// A sidecar stays with its photos when they are all skipped as identical,
// even one listed before them; with a photo that goes, it goes too.
TEST_F(LibraryFoldersTest, ASidecarFollowsItsPhoto) {
  extras.skipIdentical = true;
  capture.byName = {{"IMG_0001.JPG", on(2024, 5, 1)}, {"IMG_0002.JPG", on(2024, 5, 2)}};
  const std::vector<std::string> sources =
      put({"IMG_0001.AAE", "IMG_0001.JPG", "IMG_0001.XMP", "IMG_0002.JPG", "IMG_0002.XMP"});
  fs::create_directories(dst / "old");
  fs::copy_file(src / "IMG_0001.JPG", dst / "old/kept.jpg");
  // The second sidecar's bytes are in the library: it still goes with its photo.
  fs::copy_file(src / "IMG_0002.XMP", dst / "old/kept.xmp");
  std::vector<PlannedFile> plan;
  ASSERT_TRUE(planTransfers(sources, options, extras, plan));
  std::vector<PlannedFile::Action> actions;
  for (const PlannedFile& file : plan) actions.push_back(file.action);
  using A = PlannedFile::Action;
  EXPECT_EQ(actions, (std::vector<A>{A::SkipWithPhoto, A::SkipIdentical, A::SkipWithPhoto,
                                     A::Transfer, A::Transfer}));
  EXPECT_EQ(plan[0].name, (dst / "old/kept.jpg").string());

  struct Skips : TransferObserver {
    std::vector<std::string> skipped;
    void fileTransferred(const TransferredFile&) override {}
    void fileSkipped(const std::string& source, const std::string&) override {
      skipped.push_back(fs::path(source).filename().string());
    }
  } observer;
  extras.observer = &observer;
  ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
  EXPECT_EQ(observer.skipped,
            (std::vector<std::string>{"IMG_0001.AAE", "IMG_0001.JPG", "IMG_0001.XMP"}));
  EXPECT_EQ(filesBelow(src),
            (std::vector<std::string>{"IMG_0001.AAE", "IMG_0001.JPG", "IMG_0001.XMP"}));
  EXPECT_TRUE(fs::exists(dst / "2024/05/02/20240502090637_00000_IMG_0002.XMP"));
}

// A level of the template that is a link (to a folder outside) or a file
// is never entered: the preview says so, the run stops there and touches
// nothing outside, and the file stays at its source.
TEST_F(LibraryFoldersTest, ALevelThatIsALinkOrAFileIsRefused) {
  capture.byName = {{"a.jpg", on(2024, 5, 1)}, {"b.jpg", on(2023, 1, 1)}};
  const fs::path outside = env.root() / "outside";
  fs::create_directories(outside / "05/01");
  fs::create_directory_symlink(outside, dst / "2024");
  std::ofstream(dst / "2023") << "a file where a folder would go";
  const std::vector<std::string> sources = put({"b.jpg", "a.jpg"});
  struct Row {
    std::vector<std::string> sources;
    const char* level;
    int error;
  };
  for (const Row& row : {Row{{sources[1]}, "2024", ELOOP}, Row{{sources[0]}, "2023", ENOTDIR}}) {
    SCOPED_TRACE(row.level);
    std::vector<PlannedFile> plan;
    ASSERT_TRUE(planTransfers(row.sources, options, extras, plan));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].action, PlannedFile::Action::FolderRefused);
    MoveFailure failure;
    EXPECT_FALSE(mMoveFile(row.sources, options, extras, &failure));
    EXPECT_TRUE(failure.folder);
    EXPECT_EQ(failure.error, row.error);
    EXPECT_EQ(failure.path.substr(0, (dst / row.level).string().size()),
              (dst / row.level).string());
    EXPECT_TRUE(fs::exists(row.sources[0]));
  }
  EXPECT_TRUE(filesBelow(outside).empty());
}

// Undo removes the folders the run made once they are empty, deepest
// first; a folder that was there before, or holds a file now, stays.
TEST_F(LibraryFoldersTest, UndoRemovesTheEmptyFoldersTheRunMade) {
  capture.byName = {
      {"a.jpg", on(2024, 5, 1)}, {"b.jpg", on(2024, 6, 2)}, {"c.jpg", on(2023, 1, 1)}};
  writeText(dst / "2024/mine.txt", "the user's");
  const std::vector<std::string> sources = put({"a.jpg", "b.jpg", "c.jpg"});
  RunJournal journal;
  ASSERT_EQ(journal.begin(options), 0);
  extras.observer = &journal;
  ASSERT_TRUE(mMoveFile(sources, options, extras, nullptr));
  ASSERT_EQ(journal.finish(true), 0);
  const std::optional<RunRecord> record = readRun(journal.id());
  ASSERT_TRUE(record);
  EXPECT_EQ(record->madeFolders,
            (std::vector<std::string>{(dst / "2024/05").string(), (dst / "2024/05/01").string(),
                                      (dst / "2024/06").string(), (dst / "2024/06/02").string(),
                                      (dst / "2023").string(), (dst / "2023/01").string(),
                                      (dst / "2023/01/01").string()}));
  // Something of the user's came into one of them meanwhile.
  std::ofstream(dst / "2024/06/later.txt") << "new";

  const UndoReport report = undoRun({.runId = journal.id()});
  EXPECT_EQ(report.count(UndoOutcome::Undone), 3u);
  EXPECT_EQ(report.foldersRemoved,
            (std::vector<std::string>{(dst / "2023/01/01").string(), (dst / "2024/06/02").string(),
                                      (dst / "2024/05/01").string(), (dst / "2023/01").string(),
                                      (dst / "2024/05").string(), (dst / "2023").string()}));
  EXPECT_EQ(filesBelow(dst), (std::vector<std::string>{"2024/06/later.txt", "2024/mine.txt"}));
}

}  // namespace
}  // namespace msifter::engine
