// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/option_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/msg.h"
#include "options/folder_template.h"
#include "temp_env.h"

namespace msifter::options {
namespace {

namespace fs = std::filesystem;

// The check before a run as a function of the options alone: the first
// problem in the window's order, with its message and its focus.
TEST(OptionCheck, FirstProblemInTheWindowsOrder) {
  testing::TempEnv env;
  const std::string in = (env.root() / "in").string();
  const std::string out = (env.root() / "out").string();
  fs::create_directories(in);
  fs::create_directories(out);
  struct Row {
    const char* what;
    void (*change)(RunOptions&, const std::string& missing);
    std::optional<OptionProblem> problem;
  };
  const auto chosen = [](const char* text, Focus focus) {
    return OptionProblem{msgcode::PleaseChoose, text, focus, true};
  };
  const OptionProblem sizes{msgcode::SizeLimitsWrong, "", Focus::LimitMinSize, false};
  const Row rows[] = {
      {"valid", [](RunOptions&, const std::string&) {}, std::nullopt},
      {"no source", [](RunOptions& o, const std::string&) { o.serverDir = "  "; },
       chosen("移動元のフォルダを", Focus::ServerSelect)},
      // Both folders are chosen before either is looked for.
      {"missing source, no destination",
       [](RunOptions& o, const std::string& missing) { o.serverDir = missing, o.receiveDir = ""; },
       chosen("移動先のフォルダを", Focus::ReceiveSelect)},
      {"missing source", [](RunOptions& o, const std::string& m) { o.serverDir = m; },
       OptionProblem{msgcode::DoesNotExist, "移動元のフォルダが", std::nullopt, false}},
      {"missing destination", [](RunOptions& o, const std::string& m) { o.receiveDir = m; },
       OptionProblem{msgcode::DoesNotExist, "移動先のフォルダが", std::nullopt, false}},
      {"no file type", [](RunOptions& o, const std::string&) { o.allFile = false; },
       OptionProblem{msgcode::PleaseChoose, "検索ファイルを", std::nullopt, false}},
      {"images without a type, other on",
       [](RunOptions& o, const std::string&) { o.allFile = false, o.graphics = o.other = true; },
       OptionProblem{msgcode::PleaseChoose, "検索ファイルを", std::nullopt, false}},
      {"other alone", [](RunOptions& o, const std::string&) { o.allFile = false, o.other = true; },
       std::nullopt},
      // The file types are told before the sizes.
      {"no type and sizes wrong",
       [](RunOptions& o, const std::string&) {
         o.allFile = false, o.useMaxSize = true, o.maxSizeKb = 0;
       },
       OptionProblem{msgcode::PleaseChoose, "検索ファイルを", std::nullopt, false}},
      {"minimum equal to maximum",
       [](RunOptions& o, const std::string&) {
         o.useMinSize = o.useMaxSize = true, o.minSizeKb = o.maxSizeKb = 10;
       },
       sizes},
      {"minimum above maximum, minimum off",
       [](RunOptions& o, const std::string&) {
         o.useMaxSize = true, o.minSizeKb = 50, o.maxSizeKb = 10;
       },
       std::nullopt},
      {"maximum of zero", [](RunOptions& o, const std::string&) { o.useMaxSize = true; },
       OptionProblem{msgcode::SizeLimitsWrong, "", Focus::LimitMaxSize, false}},
      {"maximum of zero, off", [](RunOptions&, const std::string&) {}, std::nullopt},
      {"extensions alone",
       [](RunOptions& o, const std::string&) {
         o.allFile = false, o.useExtensions = true, o.extensions = "cr2;nef";
       },
       std::nullopt},
      // Separators only name no extension, and take no file.
      {"extensions without one",
       [](RunOptions& o, const std::string&) {
         o.allFile = false, o.useExtensions = true, o.extensions = ";.,";
       },
       OptionProblem{msgcode::PleaseChoose, "検索ファイルを", std::nullopt, false}},
      {"a time shift without capture times",
       [](RunOptions& o, const std::string&) { o.timeShift.seconds = -60; },
       OptionProblem{msgcode::CaptureOnly, "--time-shift ", std::nullopt, false}},
      {"films by their local clock without capture times",
       [](RunOptions& o, const std::string&) { o.videoTime = VideoTime::Local; },
       OptionProblem{msgcode::CaptureOnly, "--video-time=local ", std::nullopt, false}},
      {"both with capture times",
       [](RunOptions& o, const std::string&) {
         o.stamp = StampChoice::Capture, o.timeShift.seconds = 3600, o.videoTime = VideoTime::Local;
       },
       std::nullopt},
      // The sizes are told before what only a kind of name uses.
      {"sizes wrong and a time shift",
       [](RunOptions& o, const std::string&) { o.useMaxSize = true, o.timeShift.seconds = 1; },
       OptionProblem{msgcode::SizeLimitsWrong, "", Focus::LimitMaxSize, false}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunOptions options;
    options.serverDir = in;
    options.receiveDir = out;
    options.allFile = true;
    row.change(options, (env.root() / "gone").string());
    EXPECT_EQ(checkRunOptions(options), row.problem);
    // The command line names the options of the row that found it.
    if (row.problem) {
      EXPECT_NE(rowWithProblem(options, *row.problem), nullptr);
    }
  }
}

// Every value the store has always kept is one row, once; a row given
// together with others on the command line is given with its whole group.
TEST(OptionTable, TheStoresNineteenValuesInTheirOrder) {
  std::vector<std::string> keys;
  std::set<std::string> names;
  for (const OptionRow& row : optionTable()) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(optionRow(row.name), &row);
    if (row.storeKey != nullptr) keys.emplace_back(row.storeKey);
  }
  // The values of the options the window's form has no control for come
  // after them, under names of their own.
  ASSERT_EQ(keys.size(), 28u);
  EXPECT_EQ((std::vector<std::string>(keys.begin() + 19, keys.end())),
            (std::vector<std::string>{"chkExtensions", "strExtensions", "lngTimeShift",
                                      "bytVideoTime", "bytStamp", "chkSkipIdentical", "strFolders",
                                      "chkGroups", "strBackupDir"}));
  keys.resize(19);
  EXPECT_EQ(keys,
            (std::vector<std::string>{
                "strServerDir", "strReceiveDir", "chkLimitCount", "lngLimitCount", "chkSubFolder",
                "chkLimitMinSize", "lngLimitMinSize", "chkLimitMaxSize", "lngLimitMaxSize",
                "chkSlowly", "chkCopy", "chkAllFile", "chkGraphics", "strGraphics", "chkOther",
                "strOther", "bytBytRenameMethod", "datLastExecute", "chkExtFix"}));
  // --ext is a file type: given, it replaces the saved choice of types.
  EXPECT_STREQ(optionRow("extensions")->group, optionRow("allFile")->group);
  EXPECT_STREQ(optionRow("useExtensions")->group, optionRow("allFile")->group);
  EXPECT_EQ(optionRow("no such option"), nullptr);
}

TEST(OptionTable, CopyingARowTakesWhatItTurnsOn) {
  RunOptions from;
  from.minSizeKb = 7;
  from.useMinSize = true;
  from.maxSizeKb = 9;
  RunOptions to;
  copyOption(*optionRow("minSizeKb"), from, to);
  EXPECT_EQ(std::make_pair(to.useMinSize, to.minSizeKb), std::make_pair(true, 7));
  EXPECT_EQ(to.maxSizeKb, 0);
}

TEST(NamedValues, EachNameOnce) {
  EXPECT_EQ(imageTypeNamed("JPEG"), ImageType::JPG);
  EXPECT_EQ(imageTypeNamed("tif"), ImageType::TIFF);
  EXPECT_EQ(imageTypeNamed("Pcd"), ImageType::PCD);
  EXPECT_EQ(imageTypeNamed("raw"), std::nullopt);
  EXPECT_EQ(imageTypeNamed(""), std::nullopt);
}

// Every choice of a table comes back from its stored number and from its
// word, and finds its own row; a number or a word of none is nothing, and a
// value outside the table reads as the table's default.
template <class Choice>
void expectEachChoiceOnce(std::string_view wordOfNone) {
  for (const auto& row : choicesOf(Choice{})) {
    EXPECT_EQ(storedChoice<Choice>(row.stored), row.choice) << row.word;
    EXPECT_EQ(choiceNamed<Choice>(row.word), row.choice) << row.word;
    EXPECT_EQ(&choiceRow(row.choice), &row) << row.word;
  }
  EXPECT_EQ(storedChoice<Choice>(2), std::nullopt);
  EXPECT_EQ(choiceNamed<Choice>(wordOfNone), std::nullopt) << wordOfNone;
  EXPECT_EQ(&choiceRow(static_cast<Choice>(7)), &choicesOf(Choice{})[0]);
}

TEST(NamedValues, EachChoiceOnce) {
  expectEachChoiceOnce<RenameMethod>("serial-number");
  expectEachChoiceOnce<StampChoice>("Capture");
  expectEachChoiceOnce<VideoTime>("UTC");
}

// "[+-]H:MM[:SS]", and nothing else: a value the command line refuses and
// the store does not take back.
TEST(NamedValues, TimeShifts) {
  const std::pair<const char*, int32_t> accepted[] = {
      {"+1:00", 3600},
      {"1:00", 3600},
      {"-0:20:30", -1230},
      {"0:00", 0},
      {"-0:00:01", -1},
      {"99999:59:59", kLongestTimeShift},
      {"-99999:59:59", -kLongestTimeShift},
  };
  for (const auto& [text, seconds] : accepted) {
    const std::optional<TimeShift> shift = parseTimeShift(text);
    EXPECT_EQ(shift, TimeShift{seconds}) << text;
    if (shift) {
      EXPECT_EQ(parseTimeShift(timeShiftText(*shift)), shift) << text;
    }
  }
  const char* const refused[] = {"100000:00",  "1:60",   "1:00:60", "1:5",  "1:005", "1", ":30",
                                 "1:00:00:00", "--1:00", "+-1:00",  "1:0x", " 1:00", ""};
  for (const char* text : refused) EXPECT_EQ(parseTimeShift(text), std::nullopt) << text;
  EXPECT_EQ(timeShiftText({-1230}), "-0:20:30");
  EXPECT_EQ(timeShiftText({kLongestTimeShift}), "+99999:59:59");
}

TEST(NamedValues, ExtensionItems) {
  const std::pair<const char*, std::vector<std::string>> rows[] = {
      {"cr2,.NEF;heic", {"cr2", "NEF", "heic"}},
      {"cr2,,nef;", {"cr2", "nef"}},
      {";.,", {}},
      {"", {}},
  };
  for (const auto& [text, items] : rows) EXPECT_EQ(extensionItems(text), items) << text;
}

TEST(FolderTemplates, ValidOnesNameTheFoldersOfAStamp) {
  std::tm stamp{};
  stamp.tm_year = 2024 - 1900, stamp.tm_mon = 0, stamp.tm_mday = 2;
  stamp.tm_hour = 3, stamp.tm_min = 4, stamp.tm_sec = 5;
  const std::pair<const char*, const char*> rows[] = {
      {"%Y/%m/%d", "2024/01/02"},
      {"%Y/%Y-%m-%d", "2024/2024-01-02"},
      {"写真 %H%M%S/100%%", "写真 030405/100%"},
      {"...x", "...x"},  // dots inside a name climb nowhere
      {"", nullptr},
      {"/%Y", nullptr},
      {"%Y/", nullptr},
      {"%Y//%m", nullptr},
      {"%Y/../x", nullptr},
      {"./%Y", nullptr},
      {"%y", nullptr},
      {"%Y%", nullptr},
  };
  for (const auto& [text, path] : rows) {
    EXPECT_EQ(folderTemplateValid(text), path != nullptr) << text;
    if (path != nullptr) {
      EXPECT_EQ(expandFolderTemplate(text, stamp), path) << text;
    }
  }
  // A valid one is taken by the run, which files into its folders, with a
  // backup folder too.
  RunOptions options;
  options.allFile = true;
  options.folders = "%Y";
  EXPECT_EQ(checkChoices(options), std::nullopt);
  options.backupDir = "/media/backup";
  EXPECT_EQ(checkChoices(options), std::nullopt);
  options.backupDir.clear();
  options.folders = "%Y/..";
  EXPECT_EQ(checkChoices(options), folderTemplateRefusal("%Y/.."));
  // Ticked with nothing in it, the window's box names no folder.
  EXPECT_EQ(folderTemplateRefusal("")->code, msgcode::FolderTemplateWrong);
}

// A backup folder must be a second place: there, and neither the source
// nor the destination nor inside either, however the path names it.
TEST(BackupFolder, IsRefusedWhereItWouldBeNoSecondPlace) {
  testing::TempEnv env;
  namespace fs = std::filesystem;
  const fs::path root = env.root();
  fs::create_directories(root / "card/DCIM");
  fs::create_directories(root / "photos/2024");
  fs::create_directories(root / "backup");
  fs::create_directory_symlink(root / "photos", root / "link");
  const std::pair<fs::path, std::optional<int16_t>> rows[] = {
      {root / "backup", std::nullopt},
      {root, std::nullopt},  // around both: still a place of its own
      {root / "gone", msgcode::DoesNotExist},
      {root / "photos", msgcode::BackupInside},
      {root / "photos/2024", msgcode::BackupInside},
      {root / "link/2024", msgcode::BackupInside},
      {root / "card/DCIM", msgcode::BackupInside},
  };
  RunOptions options;
  options.allFile = true;
  options.serverDir = (root / "card").string();
  options.receiveDir = (root / "photos").string();
  for (const auto& [folder, code] : rows) {
    SCOPED_TRACE(folder.string());
    options.backupDir = folder.string();
    const std::optional<OptionProblem> problem = checkRunOptions(options);
    EXPECT_EQ(problem ? std::optional<int16_t>(problem->code) : std::nullopt, code);
  }
}

}  // namespace
}  // namespace msifter::options
