#include "options/option_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/msg.h"
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
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RunOptions options;
    options.serverDir = in;
    options.receiveDir = out;
    options.allFile = true;
    row.change(options, (env.root() / "gone").string());
    EXPECT_EQ(checkRunOptions(options), row.problem);
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
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "strServerDir",       "strReceiveDir",   "chkLimitCount",   "lngLimitCount",
                      "chkSubFolder",       "chkLimitMinSize", "lngLimitMinSize", "chkLimitMaxSize",
                      "lngLimitMaxSize",    "chkSlowly",       "chkCopy",         "chkAllFile",
                      "chkGraphics",        "strGraphics",     "chkOther",        "strOther",
                      "bytBytRenameMethod", "datLastExecute",  "chkExtFix",       "strFolders",
                      "chkGroups"}));
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
  for (const RenameMethodRow& row : kRenameMethods) {
    EXPECT_EQ(storedRenameMethod(row.stored), row.method);
    EXPECT_EQ(journalRenameMethod(row.journalWord), row.method);
    EXPECT_EQ(&renameMethodRow(row.method), &row);
  }
  EXPECT_EQ(storedRenameMethod(2), std::nullopt);
  EXPECT_EQ(journalRenameMethod("serial-number"), std::nullopt);
}

}  // namespace
}  // namespace msifter::options
