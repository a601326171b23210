// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <tuple>

#include "common/failure.h"
#include "common/msg.h"
#include "every_file_run.h"
#include "journal_file.h"
#include "journal_lines.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "scratch_mount.h"
#include "sqlite_files.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;
using testing::readText;
using testing::writeText;

auto fieldsOf(const TransferredFile& f) {
  return std::tie(f.kind, f.source, f.destination, f.size, f.modifiedSeconds, f.modifiedNanoseconds,
                  f.device, f.inode);
}

std::size_t occurrences(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

TEST(JournalTest, PathsAndNumbersRoundTripExactly) {
  testing::TempEnv env;
  const std::string paths[] = {"/p/new\nline",     "/p/tab\there",      "/p/100% %41 %zz",
                               "/p/back\\slash",   "/p/\xff\xfe\x80 x", "/p/\xe6\x97",
                               "/p/写真 2024.JPG", "/p/\r\x7f\x01",     "/p/ spaces "};
  TransferOptions options;
  options.serverDir = "/from/%\t\n日本";
  options.receiveDir = "/to/\xc3";
  options.targetList = "*.JPG;*%;*";
  options.copyFiles = true;
  options.bounds.useMaxSize = true;
  options.bounds.maxSizeBytes = 1 << 20;
  options.renameMethod = RenameMethod::SerialNumber;
  RunJournal journal;
  ASSERT_EQ(journal.begin(options), 0);
  std::vector<TransferredFile> files;
  for (const std::string& path : paths) {
    const int64_t i = static_cast<int64_t>(files.size());
    files.push_back({i % 2 ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved, path,
                     path + "\n→", i << 40, -i, static_cast<int32_t>(i * 111111111),
                     UINT64_MAX - static_cast<uint64_t>(i), static_cast<uint64_t>(i)});
    journal.fileTransferred(files.back());
  }
  // A relative path is kept as the absolute one it meant.
  journal.fileTransferred({TransferredFile::Kind::Moved, "rel", "/abs", 1, 0, 0, 0, 0});
  ASSERT_EQ(journal.finish(true), 0);

  const std::optional<RunRecord> run = readRun(journal.id());
  ASSERT_TRUE(run);
  ASSERT_EQ(run->entries.size(), files.size() + 1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(fieldsOf(run->entries[i].file), fieldsOf(files[i])) << i;
    EXPECT_EQ(run->entries[i].number, static_cast<int64_t>(i));
  }
  EXPECT_EQ(run->entries.back().file.source, (fs::current_path() / "rel").string());
  const RunSummary& s = run->summary;
  EXPECT_EQ(std::tie(s.options.serverDir, s.options.receiveDir, s.options.targetList),
            std::tie(options.serverDir, options.receiveDir, options.targetList));
  EXPECT_TRUE(s.options.copyFiles && s.options.bounds.useMaxSize && !s.options.bounds.useMinSize);
  EXPECT_EQ(s.options.bounds.maxSizeBytes, 1 << 20);
  EXPECT_EQ(s.options.renameMethod, RenameMethod::SerialNumber);
  EXPECT_EQ(s.end, RunEnd::Completed);
  EXPECT_FALSE(s.damaged);
  // One line a record (the header's 13, a file's, the end and the closing
  // line), names readable as they are.
  const std::string written = readText(journal.path());
  EXPECT_EQ(occurrences(written, "\n"), 13 + files.size() + 3);
  EXPECT_NE(written.find("写真 2024.JPG"), std::string::npos);
  EXPECT_EQ(fs::status(journal.path()).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(journalFolder()).permissions(), fs::perms::owner_all);
}

// What history lists of a file besides its paths: the source of its
// name's moment, and the files a run left as identical, which the journal
// keeps though they changed nothing on disk.
TEST(JournalTest, DateSourcesSkippedFilesAndNamingOptionsComeBack) {
  testing::TempEnv env;
  TransferOptions options;
  options.serverDir = "/card";
  options.receiveDir = "/photos";
  options.stamp = options::StampChoice::Capture;
  options.timeShift = {-3600};
  options.videoTime = options::VideoTime::Local;
  options.skipIdentical = true;
  options.folders = "%Y/%Y-%m-%d";
  options.groups = true;
  options.backupDir = "/backup";
  RunJournal journal;
  ASSERT_EQ(journal.begin(options), 0);
  std::vector<TransferIntent> group;
  for (const DateSource source : {DateSource::Exif, DateSource::None, DateSource::FilmZoned}) {
    const auto n = static_cast<int64_t>(group.size());
    TransferIntent intent;
    intent.number = n;
    intent.source = "/card/" + std::to_string(n);
    intent.dateSource = source;
    group.push_back(intent);
  }
  journal.fileSkipped("/card/same\tname", "/photos/2024/x.jpg");
  ASSERT_EQ(journal.filesPlanned(group), 0);
  // Renamed after its plan: the second intent keeps the source.
  TransferIntent renamed = group[2];
  renamed.destination = "/photos/other";
  ASSERT_EQ(journal.fileRenamed(renamed), 0);
  for (const TransferIntent& i : group) {
    TransferredFile file;
    file.source = i.source;
    file.destination = "/photos/n";
    file.number = i.number;
    journal.fileTransferred(file);
  }
  journal.fileSkipped("/card/later", "/card/0");
  ASSERT_EQ(journal.finish(true), 0);

  const std::optional<RunRecord> run = readRun(journal.id());
  ASSERT_TRUE(run);
  EXPECT_FALSE(run->summary.damaged);
  ASSERT_EQ(run->entries.size(), 3u);
  EXPECT_EQ(run->entries[0].dateSource, DateSource::Exif);
  EXPECT_EQ(run->entries[1].dateSource, DateSource::None);
  EXPECT_EQ(run->entries[2].dateSource, DateSource::FilmZoned);
  ASSERT_EQ(run->skipped.size(), 2u);
  EXPECT_EQ(run->skipped[0].source, "/card/same\tname");
  EXPECT_EQ(run->skipped[0].identical, "/photos/2024/x.jpg");
  EXPECT_EQ(run->skipped[1].identical, "/card/0");
  EXPECT_EQ(run->summary.skippedFiles, 2);
  EXPECT_EQ(run->summary.files, 3);
  const TransferOptions& o = run->summary.options;
  EXPECT_EQ(o.stamp, options::StampChoice::Capture);
  EXPECT_EQ(o.timeShift, options.timeShift);
  EXPECT_EQ(o.videoTime, options::VideoTime::Local);
  EXPECT_TRUE(o.skipIdentical);
  EXPECT_EQ(o.folders, "%Y/%Y-%m-%d");
  EXPECT_TRUE(o.groups);
  EXPECT_EQ(o.backupDir, "/backup");
}

// A file that arrived as its intent said is told in a short line; read
// back, it has its intent's paths (the last intent of its number) and the
// identity of what arrived. A short line without an intent is damage.
TEST(JournalTest, AFileAsIntendedIsToldByItsNumberAndReadsWhole) {
  testing::TempEnv env;
  RunJournal journal;
  ASSERT_EQ(journal.begin({}), 0);
  std::vector<TransferIntent> group(3);
  for (int64_t n = 0; n < 3; ++n) {
    group[n].number = n;
    group[n].copy = n == 1;
    group[n].source = "/card/IMG_\t" + std::to_string(n) + ".JPG";
    group[n].destination = "/photos/" + std::to_string(n) + ".JPG";
  }
  ASSERT_EQ(journal.filesPlanned(group), 0);
  TransferIntent renamed = group[2];
  renamed.destination = "/photos/2b.JPG";
  ASSERT_EQ(journal.fileRenamed(renamed), 0);
  std::vector<TransferredFile> told;
  for (const TransferIntent& i : {group[0], group[1], renamed}) {
    TransferredFile& f = told.emplace_back();
    f.kind = i.copy ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved;
    f.source = i.source;
    f.destination = i.destination;
    f.size = 100 + i.number;
    f.modifiedSeconds = 1714522000 + i.number;
    f.modifiedNanoseconds = 7;
    f.device = 2049;
    f.inode = 500 + static_cast<uint64_t>(i.number);
    f.number = i.number;
    f.asIntended = true;
    journal.fileTransferred(f);
  }
  ASSERT_EQ(journal.finish(true), 0);
  const std::string text = readText(journal.path());
  EXPECT_EQ(occurrences(text, "\ndone\t"), 3u);
  EXPECT_EQ(occurrences(text, "\nfile\t"), 0u);

  const std::optional<RunRecord> run = readRun(journal.id());
  ASSERT_TRUE(run);
  EXPECT_FALSE(run->summary.damaged);
  ASSERT_EQ(run->entries.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(fieldsOf(run->entries[k].file), fieldsOf(told[k]));
  EXPECT_EQ(run->summary.bytes, 303);

  // A short line whose number has no intent: the journal is damaged.
  std::ofstream(journal.path(), std::ios::binary | std::ios::app)
      << "done\t9\t1\t1.000000000\t1\t1\n";
  const std::optional<RunRecord> damaged = readRun(journal.id());
  ASSERT_TRUE(damaged);
  EXPECT_TRUE(damaged->summary.damaged);
}

// Journals written before date sources and skipped files still read whole,
// with the options they did not name at their defaults.
TEST(JournalTest, AnOlderJournalReadsAsBefore) {
  testing::TempEnv env;
  RunJournal journal;
  ASSERT_EQ(journal.begin({}), 0);
  ASSERT_EQ(journal.finish(true), 0);
  const std::string id = journal.id();
  std::ofstream(journal.path(), std::ios::binary | std::ios::trunc)
      << "m_sifter journal 1\nstarted\t1714522000\noperation\tmove\nsource\t/s\n"
         "destination\t/d\ntargets\t*\nsubfolders\tno\nmin-size\toff\nmax-size\toff\n"
         "count-limit\toff\nnames\tdate-time\nfix-extension\tno\nslowly\tno\n"
         "intent\t0\tmove\t/s/a\t/d/n\t5\t1.000000000\t1\t2\n"
         "file\t0\tmoved\t/s/a\t/d/n\t5\t1.000000000\t1\t3\n"
         "ended\t1714522001\t1\t5\tcompleted\nclosed\n";
  const std::optional<RunRecord> run = readRun(id);
  ASSERT_TRUE(run);
  EXPECT_FALSE(run->summary.damaged);
  ASSERT_EQ(run->entries.size(), 1u);
  EXPECT_EQ(run->entries[0].dateSource, DateSource::None);
  EXPECT_TRUE(run->skipped.empty());
  EXPECT_EQ(run->summary.options.stamp, options::StampChoice::Transfer);
  EXPECT_EQ(run->summary.options.timeShift, options::TimeShift{});
  EXPECT_FALSE(run->summary.options.skipIdentical);
  EXPECT_EQ(run->summary.options.folders, "");
  EXPECT_FALSE(run->summary.options.groups);
}

// Paths are escaped eight bytes at a time while none needs it: a byte to
// escape at every place of such a word comes back exactly, printable UTF-8
// stays readable, a C1 control does not reach a pager.
TEST(JournalTest, EveryPlaceInALongPathRoundTrips) {
  std::string text(detail::kFirstLine);
  std::vector<TransferIntent> intents;
  for (const std::string odd : {"\t", "\n", "%", "\x7f", "\x1f", "\xff", "\xc2\x85", "写"}) {
    for (std::size_t at = 0; at < 9; ++at) {
      const std::string path = "/photos/2024/" + std::string(at, 'x') + odd + "_IMG_0001.JPG";
      intents.push_back(
          {static_cast<int64_t>(intents.size()), false, path, path + "~", 1, 2, 3, 4, 5});
      detail::appendIntentLine(text, intents.back(), "");
    }
  }
  RunRecord record;
  detail::OpenWork open;
  ASSERT_TRUE(detail::parseJournal(text, record, open));
  EXPECT_FALSE(record.summary.damaged);
  ASSERT_EQ(open.intents.size(), intents.size());
  for (const TransferIntent& i : intents) {
    EXPECT_EQ(open.intents.at(i.number).source, i.source) << i.number;
    EXPECT_EQ(open.intents.at(i.number).destination, i.destination) << i.number;
  }
  EXPECT_NE(text.find("x写_IMG"), std::string::npos);
  EXPECT_EQ(text.find("\xc2\x85"), std::string::npos);
}

// Lines that cannot all be queued for want of memory leave nothing of
// themselves behind: the journal never gets half a line.
TEST(JournalTest, LinesAreQueuedWholeOrNotAtAll) {
  detail::JournalFile file(-1, 0, false);
  ASSERT_TRUE(file.queueLines([](std::string& q) { q += "first\n"; }));
  EXPECT_FALSE(file.queueLines([](std::string& q) {
    q += "half a li";
    throw std::bad_alloc();
  }));
  EXPECT_EQ(file.queue(), "first\n");
}

TEST(JournalTest, AJournalCutAnywhereListsTheWholeLinesItHas) {
  testing::TempEnv env;
  RunJournal journal;
  ASSERT_EQ(journal.begin({}), 0);
  for (int64_t i = 0; i < 3; ++i)
    journal.fileTransferred({TransferredFile::Kind::Moved, "/s/" + std::to_string(i), "/d", 10});
  ASSERT_EQ(journal.finish(true), 0);
  const std::string full = readText(journal.path());
  const fs::path cut = fs::path(journal.path()).replace_filename("cut.journal");
  fs::remove(journal.path());

  for (std::size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    std::ofstream(cut, std::ios::binary | std::ios::trunc) << full.substr(0, length);
    const std::string whole = full.substr(0, full.rfind('\n', length - 1) + 1);
    const std::vector<RunSummary> runs = listRuns();
    if (length == 0 || whole.empty()) {
      EXPECT_TRUE(runs.empty());
      continue;
    }
    ASSERT_EQ(runs.size(), 1u);
    const auto files = static_cast<int64_t>(occurrences(whole, "\nfile\t"));
    EXPECT_EQ(runs[0].files, files);
    EXPECT_EQ(runs[0].bytes, 10 * files);
    // Settled by this look: a run cut short before its end was interrupted.
    EXPECT_EQ(runs[0].end, whole.find("\nended\t") == std::string::npos ? RunEnd::Interrupted
                                                                        : RunEnd::Completed);
    EXPECT_EQ(runs[0].damaged, whole.size() != length);
  }
}

// A run cut short while moving from a card: the card taken out leaves its
// mount point, an empty folder of another file system. Nothing can be told
// of the files then, and nothing is recorded; once the card is mounted
// again, under whatever device number, the next look settles them.
TEST(JournalTest, ACardNotMountedIsLeftForALaterLook) {
  testing::TempEnv env;
  const fs::path card = env.root() / "card", dst = env.root() / "dst";
  fs::create_directories(card);
  fs::create_directories(dst);
  std::ofstream(dst / "0000000000_a.jpg") << "photo";
  const struct timespec times[2] = {{1034674200, 0}, {1034674200, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dst / "0000000000_a.jpg").c_str(), times, 0), 0);
  // As the run left it: the copy named, the source not yet removed.
  fs::create_directories(journalFolder());
  std::ofstream(fs::path(journalFolder()) / "20240105-143000.journal")
      << "m_sifter journal 1\nstarted\t1704465000\noperation\tmove\nsource\t" << card.string()
      << "\ndestination\t" << dst.string() << "\nmount\t999999\t" << card.string()
      << "\nintent\t0\tmove\t" << (card / "a.jpg").string() << "\t"
      << (dst / "0000000000_a.jpg").string() << "\t5\t1034674200.000000000\t999999\t12\n";
  std::vector<RunSummary> runs = listRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(std::make_tuple(runs[0].files, runs[0].pendingFiles, runs[0].unclearFiles),
            std::make_tuple(int64_t{0}, int64_t{1}, int64_t{0}));

  testing::ScratchMount mountedAgain(card);
  if (!mountedAgain.mounted()) GTEST_SKIP() << "cannot mount a memory file system here";
  runs = listRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(std::make_tuple(runs[0].files, runs[0].pendingFiles, runs[0].unclearFiles),
            std::make_tuple(int64_t{1}, int64_t{0}, int64_t{0}));
  EXPECT_EQ(runs[0].end, RunEnd::Interrupted);
}

// A killed move left the source and, it seems, its copy: the copy the look
// would take away is reached only beneath the destination, never through a
// folder swapped for a link since, so a file outside stays.
TEST(JournalTest, TheLookNeverRemovesAFileBehindALinkInTheDestination) {
  testing::TempEnv env;
  const fs::path card = env.root() / "card", dst = env.root() / "dst",
                 outside = env.root() / "outside";
  fs::create_directories(card);
  fs::create_directories(dst);
  fs::create_directories(outside);
  const struct timespec times[2] = {{1034674200, 0}, {1034674200, 0}};
  for (const fs::path& file : {card / "a.jpg", outside / "0000000000_a.jpg"}) {
    writeText(file, "photo");
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  }
  fs::create_directory_symlink(outside, dst / "2024");
  struct stat source {};
  ASSERT_EQ(::stat((card / "a.jpg").c_str(), &source), 0);
  fs::create_directories(journalFolder());
  std::ofstream(fs::path(journalFolder()) / "20240105-143000.journal")
      << "m_sifter journal 1\nstarted\t1704465000\noperation\tmove\nsource\t" << card.string()
      << "\ndestination\t" << dst.string() << "\nintent\t0\tmove\t" << (card / "a.jpg").string()
      << "\t" << (dst / "2024/0000000000_a.jpg").string() << "\t5\t1034674200.000000000\t"
      << source.st_dev << "\t" << source.st_ino << "\n";
  const std::vector<RunSummary> runs = listRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].pendingFiles, 1);
  EXPECT_EQ(readText(outside / "0000000000_a.jpg"), "photo");
  EXPECT_EQ(readText(card / "a.jpg"), "photo");
}

// Fills the journal's disk only: the error log, written through the same
// calls, must still take the report.
struct DiskFullAfter : platform::Syscalls {
  explicit DiskFullAfter(int writes) : left(writes) {}
  ssize_t pwrite(int fd, const void* buffer, size_t count, off_t at) override {
    const auto file = fs::read_symlink("/proc/self/fd/" + std::to_string(fd));
    if (file.extension() != ".journal" || left-- > 0)
      return Syscalls::pwrite(fd, buffer, count, at);
    errno = ENOSPC;
    return -1;
  }
  int left;
};

// No file is transferred without its record: a run whose journal cannot be
// made does not start (the user is told in the catalogue's words), and one
// whose journal fills stops before the files it could not record, as at a
// full destination (the window's fatal path).
TEST(JournalTest, NoJournalNoRun) {
  struct Row {
    const char* name;
    bool readOnlyState;
    int writesBeforeFull;  // -1: never full
    const char* logged;    // the cause in the error log; nullptr: nothing logged
    bool started;
    bool ended;  // the run ended normally, not by the fatal path
    long moved;
    std::size_t journals;
  };
  for (const Row& row :
       {Row{"healthy", false, -1, nullptr, true, true, 2, 1},
        Row{"read-only state folder", true, -1, "Read-only file system", false, true, 0, 0},
        Row{"disk full after the header", false, 1, "No space left on device", true, false, 0,
            1}}) {
    SCOPED_TRACE(row.name);
    testing::TempEnv env;
    testing::RecordingUi ui;
    ASSERT_TRUE(testing::writeCatalogue(env.root() / "msg",
                                        "CREATE TABLE t_MSG (CODE INTEGER, MSG TEXT, DLGFLG "
                                        "INTEGER); INSERT INTO t_MSG VALUES (60, '#60', 48);"));
    ASSERT_TRUE(common::gMsgInit((env.root() / "msg").string(), common::kMsgPassword));
    testing::ScratchMount state(env.stateHome());
    if (row.readOnlyState && (!state.mounted() || ::mount(nullptr, state.path().c_str(), nullptr,
                                                          MS_REMOUNT | MS_RDONLY, nullptr) != 0))
      GTEST_SKIP() << "cannot mount a read-only memory file system";
    const options::RunOptions options = testing::everyFile(
        env.writeFile("src/a.jpg", 100).parent_path().string(), (env.root() / "dst").string());
    env.writeFile("src/b.png", 28);
    fs::create_directories(options.receiveDir);
    DiskFullAfter disk(row.writesBeforeFull < 0 ? INT32_MAX : row.writesBeforeFull);
    {
      platform::ScopedSyscalls scoped(disk);
      bool ended = true;
      bool started = false;
      try {
        testing::QuietRun quiet;
        RunResult result;
        started = gProcess1(options, quiet, result);
      } catch (const common::ProgramEnded&) {
        ended = false;
        started = true;
      }
      EXPECT_EQ(std::make_pair(started, ended), std::make_pair(row.started, row.ended));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(env.root() / "dst"), {}), row.moved);
    EXPECT_EQ(std::distance(fs::directory_iterator(env.root() / "src"), {}), 2 - row.moved);
    // The fatal path shows its own boxes.
    if (row.ended) {
      ASSERT_EQ(ui.boxes.size(), row.started ? 0u : 1u);
    }
    if (!row.started) {
      EXPECT_EQ(ui.boxes[0].text, "実行の記録（" + journalFolder() + "）#60");
    }
    const std::string log = env.errorLog();
    EXPECT_EQ(occurrences(log, "writeRunJournal"), row.logged ? 1u : 0u);
    if (row.logged) {
      EXPECT_NE(log.find(row.logged), std::string::npos) << log;
    }
    const std::vector<RunSummary> runs = listRuns();
    ASSERT_EQ(runs.size(), row.journals);
    if (runs.empty()) continue;
    EXPECT_EQ(std::tie(runs[0].files, runs[0].bytes),
              std::make_tuple(int64_t{row.moved}, int64_t{row.moved ? 128 : 0}));
    EXPECT_EQ(runs[0].end, row.ended ? RunEnd::Completed : RunEnd::Interrupted);
    EXPECT_EQ(runs[0].options.serverDir, options.serverDir);
  }
}

}  // namespace
}  // namespace msifter::engine
