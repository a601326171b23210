// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/msg.h"
#include "common/sqlite.h"
#include "fake_window.h"
#include "isolated_test.h"
#include "recording_ui.h"
#include "settings/registry.h"
#include "sqlite_files.h"
#include "temp_env.h"

namespace msifter::settings {
namespace {

namespace fs = std::filesystem;
using testing::RecordingUi;
using testing::TempEnv;

const std::vector<Check> kImages = {Check::BMP, Check::GIF, Check::TIFF,
                                    Check::JPG, Check::PNG, Check::PCD};
const std::vector<Check> kTargets = {Check::Graphics, Check::BMP, Check::GIF, Check::TIFF,
                                     Check::JPG,      Check::PNG, Check::PCD, Check::Other};

// A catalogue whose message for each code is "#<code>", so a box shows which
// code it came from and the caller's text in front of it.
void openTaggedCatalogue(const TempEnv& env) {
  std::string sql = "CREATE TABLE t_MSG (CODE INTEGER, MSG TEXT, DLGFLG INTEGER);";
  for (const int code : msgcode::InUse) {
    sql += "INSERT INTO t_MSG VALUES (" + std::to_string(code) + ", '#" + std::to_string(code) +
           "', 48);";
  }
  const fs::path path = env.root() / "msg";
  ASSERT_TRUE(testing::writeCatalogue(path, sql));
  ASSERT_TRUE(common::gMsgInit(path.string(), common::kMsgPassword));
}

std::vector<std::string> boxTexts(const RecordingUi& ui) {
  std::vector<std::string> texts;
  for (const auto& box : ui.boxes) texts.push_back(box.text);
  return texts;
}

class SettingsStoreTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    openTaggedCatalogue(env);
    fs::create_directories(env.root() / "in");
    fs::create_directories(env.root() / "out");
  }

  // A window that passes validation: both folders exist, all files chosen.
  void fillValid(FakeWindow& w) {
    w.setCaption(FolderLabel::ServerDir, (env.root() / "in").string());
    w.setCaption(FolderLabel::ReceiveDir, (env.root() / "out").string());
    w.setValue(Check::AllFile, 1);
    for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
      w.setText(box, "0");
    }
  }

  static void setLimitTexts(FakeWindow& w, const char* count, const char* min, const char* max) {
    w.setText(Text::LimitCount, count);
    w.setText(Text::LimitMinSize, min);
    w.setText(Text::LimitMaxSize, max);
  }

  void store(const char* name, int32_t type, const RegValue& value) {
    ASSERT_TRUE(gSetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, value));
  }
};

TEST_F(SettingsStoreTest, FirstStartShowsDefaultsWithoutAMessage) {
  FakeWindow w(&ui);
  w.setValue(Check::GIF, 1);
  EXPECT_TRUE(gDspSettingData(w));
  EXPECT_EQ(w.caption(FolderLabel::ServerDir), "");
  EXPECT_EQ(w.caption(FolderLabel::ReceiveDir), "");
  for (const Check box : options::kAllChecks) {
    EXPECT_EQ(w.checks.at(box), 0) << static_cast<int>(box);
  }
  EXPECT_EQ(w.text(Text::LimitCount), "0");
  EXPECT_EQ(w.text(Text::LimitMinSize), "0");
  EXPECT_EQ(w.text(Text::LimitMaxSize), "0");
  EXPECT_EQ(w.text(Text::Other), "");
  EXPECT_EQ(w.selected, RenameMethod::DateTime);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(fs::exists(registryStorePath()));

  SavedSettings saved;
  EXPECT_TRUE(gGetSettingData(saved));
  EXPECT_EQ(saved.lastExecute, "1000/01/01");
}

TEST_F(SettingsStoreTest, SavedWindowComesBackWhole) {
  FakeWindow before(&ui);
  const std::string longFolder = (env.root() / std::string(300, 'f')).string();
  before.setCaption(FolderLabel::ServerDir, longFolder);
  before.setCaption(FolderLabel::ReceiveDir, "/写真/整理済み");
  before.setValue(Check::LimitCount, 1);
  before.setText(Text::LimitCount, "25");
  before.setValue(Check::SubFolder, 1);
  before.setValue(Check::LimitMinSize, 1);
  before.setText(Text::LimitMinSize, "5");
  before.setValue(Check::LimitMaxSize, 0);
  before.setText(Text::LimitMaxSize, "10");
  before.setValue(Check::Copy, 1);
  before.setValue(Check::Graphics, 1);
  before.setValue(Check::GIF, 1);
  before.setValue(Check::PCD, 1);
  before.setValue(Check::Other, 1);
  before.setText(Text::Other, "txt; doc");
  before.select(RenameMethod::SerialNumber);
  before.setValue(Check::ExtFix, 1);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(before), "2026/12/07 08:15:00"));

  SavedSettings saved;
  EXPECT_TRUE(gGetSettingData(saved));
  EXPECT_EQ(saved.options.serverDir, longFolder);
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, kSettingsKey, "strGraphics", kRegSz, std::string()),
            RegValue(std::string("*.GIF;*.PCD")));
  EXPECT_EQ(saved.options.renameMethod, RenameMethod::SerialNumber);
  EXPECT_EQ(saved.lastExecute, "2026/12/07 08:15:00");
  EXPECT_EQ(saved.options.maxSizeKb, 10);

  FakeWindow after(&ui);
  EXPECT_TRUE(gDspSettingData(after));
  for (int box = 0; box <= static_cast<int>(Check::ExtFix); ++box) {
    EXPECT_EQ(after.value(Check(box)), before.value(Check(box))) << box;
  }
  EXPECT_EQ(after.texts, before.texts);
  EXPECT_EQ(after.captions, before.captions);
  EXPECT_EQ(after.selected, RenameMethod::SerialNumber);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SettingsStoreTest, SaveWritesTheNineteenValuesWithTheirTypes) {
  FakeWindow w(&ui);
  fillValid(w);
  setLimitTexts(w, "2.5", "3.5", " 7 ");
  for (const Check box : kImages) w.setValue(box, 1);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/01/02 03:04:05"));

  const auto text = [](const char* name) {
    return gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, kRegSz, std::string("absent"));
  };
  const auto number = [](const char* name) {
    return gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, kRegDword, int32_t{99});
  };
  EXPECT_EQ(text("strGraphics"), RegValue(std::string("*.BMP;*.GIF;*.TIFF;*.JPG;*.PNG;*.PCD")));
  EXPECT_EQ(number("chkAllFile"), RegValue(int32_t{-1}));
  EXPECT_EQ(number("chkGraphics"), RegValue(int32_t{0}));
  EXPECT_EQ(number("lngLimitCount"), RegValue(int32_t{2}));
  EXPECT_EQ(number("lngLimitMinSize"), RegValue(int32_t{4}));
  EXPECT_EQ(number("lngLimitMaxSize"), RegValue(int32_t{7}));
  EXPECT_EQ(number("bytBytRenameMethod"), RegValue(int32_t{0}));
  EXPECT_EQ(text("datLastExecute"), RegValue(std::string("2026/01/02 03:04:05")));
  EXPECT_EQ(text("strOther"), RegValue(std::string()));
  for (const char* name :
       {"strServerDir", "strReceiveDir", "chkLimitCount", "lngLimitCount", "chkSubFolder",
        "chkLimitMinSize", "lngLimitMinSize", "chkLimitMaxSize", "lngLimitMaxSize", "chkSlowly",
        "chkCopy", "chkAllFile", "chkGraphics", "strGraphics", "chkOther", "strOther",
        "bytBytRenameMethod", "datLastExecute", "chkExtFix"}) {
    const bool isText = name[0] == 's' || name[0] == 'd';
    const RegValue absent = isText ? RegValue(std::string("absent")) : RegValue(int32_t{99});
    EXPECT_NE(
        gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, isText ? kRegSz : kRegDword, absent),
        absent)
        << name;
  }

  // No image type: the packed value is stored as one space and reads as "".
  for (const Check box : kImages) w.setValue(box, 0);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/01/02 03:04:05"));
  EXPECT_EQ(text("strGraphics"), RegValue(std::string()));
}

// Every stored row of the option table, through the store and back: two
// patterns in which every option differs from its default or from the other.
TEST_F(SettingsStoreTest, EveryStoredOptionComesBackAsSaved) {
  for (const int pattern : {0, 1}) {
    SCOPED_TRACE(pattern);
    options::RunOptions o;
    const bool on = pattern == 0;
    o.serverDir = "/写真/in" + std::to_string(pattern);
    o.receiveDir = "/out\xe9" + std::to_string(pattern);  // bytes as they are
    o.useCountLimit = o.subFolder = o.useMaxSize = o.copyFiles = o.graphics = o.extFix = on;
    o.useMinSize = o.slowly = o.allFile = o.other = !on;
    o.countLimit = 1000000 + pattern;
    o.minSizeKb = -5 - pattern;
    o.maxSizeKb = 2147483647 - pattern;
    o.images.set(on ? options::ImageType::TIFF : options::ImageType::PCD, true);
    o.images.set(options::ImageType::BMP, on);
    o.otherText = on ? "txt; doc" : "";
    o.renameMethod = on ? RenameMethod::SerialNumber : RenameMethod::DateTime;
    o.useExtensions = on;
    o.extensions = on ? "cr2;nef" : "";
    o.timeShift.seconds = on ? -options::kLongestTimeShift : 3600;
    o.videoTime = on ? options::VideoTime::Local : options::VideoTime::Utc;
    ASSERT_TRUE(gSetSettingData(o, "2026/12/0" + std::to_string(pattern + 1) + " 08:15:00"));
    SavedSettings saved;
    ASSERT_TRUE(gGetSettingData(saved));
    EXPECT_EQ(saved.options, o);
    EXPECT_EQ(saved.lastExecute, "2026/12/0" + std::to_string(pattern + 1) + " 08:15:00");
    EXPECT_TRUE(saved.methodKnown);
  }
}

// The values as the store has always held them (Booleans as -1, the image
// types packed, the method as a number) read as the options they meant.
TEST_F(SettingsStoreTest, AStoreWrittenBeforeReadsTheSame) {
  store("strServerDir", kRegSz, std::string("/media/card"));
  store("strReceiveDir", kRegSz, std::string(" "));  // how an empty text is kept
  store("chkLimitCount", kRegDword, int32_t{-1});
  store("lngLimitCount", kRegDword, int32_t{25});
  store("chkLimitMaxSize", kRegDword, int32_t{1});  // any number but 0 is on
  store("lngLimitMaxSize", kRegDword, int32_t{900});
  store("chkGraphics", kRegDword, int32_t{-1});
  store("strGraphics", kRegSz, std::string("*.GIF;*.PCD"));
  store("strOther", kRegSz, std::string(".raw;.nef"));
  store("bytBytRenameMethod", kRegDword, int32_t{1});
  store("datLastExecute", kRegSz, std::string("2024/03/15 09:30:00"));
  options::RunOptions expected;
  expected.serverDir = "/media/card";
  expected.useCountLimit = true;
  expected.countLimit = 25;
  expected.useMaxSize = true;
  expected.maxSizeKb = 900;
  expected.graphics = true;
  expected.images.set(options::ImageType::GIF, true);
  expected.images.set(options::ImageType::PCD, true);
  expected.otherText = ".raw;.nef";
  expected.renameMethod = RenameMethod::SerialNumber;
  SavedSettings saved;
  ASSERT_TRUE(gGetSettingData(saved));
  EXPECT_EQ(saved.options, expected);
  EXPECT_EQ(saved.lastExecute, "2024/03/15 09:30:00");
  EXPECT_EQ(savedRunOptions(), expected);
  EXPECT_TRUE(ui.boxes.empty());
}

// A time shift or a way of reading films that no run could have saved is
// damage: the default, and the window says the settings were not read.
TEST_F(SettingsStoreTest, CaptureTimeValuesOutOfRangeReadAsTheirDefaults) {
  store("lngTimeShift", kRegDword, int32_t{options::kLongestTimeShift + 1});
  store("bytVideoTime", kRegDword, int32_t{2});
  SavedSettings saved;
  EXPECT_FALSE(gGetSettingData(saved));
  EXPECT_EQ(saved.options.timeShift, options::TimeShift{});
  EXPECT_EQ(saved.options.videoTime, options::VideoTime::Utc);
  store("lngTimeShift", kRegDword, int32_t{-options::kLongestTimeShift});
  store("bytVideoTime", kRegDword, int32_t{1});
  EXPECT_TRUE(gGetSettingData(saved));
  EXPECT_EQ(saved.options.timeShift.seconds, -options::kLongestTimeShift);
  EXPECT_EQ(saved.options.videoTime, options::VideoTime::Local);
  // The stamp likewise: a number of no choice is the default, and damage.
  store("bytStamp", kRegDword, int32_t{2});
  EXPECT_FALSE(gGetSettingData(saved));
  EXPECT_EQ(saved.options.stamp, options::StampChoice::Transfer);
  store("bytStamp", kRegDword, int32_t{1});
  EXPECT_TRUE(gGetSettingData(saved));
  EXPECT_EQ(saved.options.stamp, options::StampChoice::Capture);
}

TEST_F(SettingsStoreTest, StoredImageTypesCheckTheirBoxesOnly) {
  struct Case {
    const char* stored;
    std::vector<Check> checked;
  };
  const Case cases[] = {
      {"*.GIF;*.PCD", {Check::GIF, Check::PCD}},
      {"*.gif", {}},
      {"", {}},
      {"*.TIFF;;*.JPEG;*.JPG;", {Check::TIFF, Check::JPG}},
      {"*.BMP;*.GIF;*.TIFF;*.JPG;*.PNG;*.PCD", kImages},
  };
  for (const Case& c : cases) {
    store("strGraphics", kRegSz, std::string(c.stored));
    FakeWindow w(&ui);
    for (const Check box : kImages) w.setValue(box, 1);
    EXPECT_TRUE(gDspSettingData(w)) << c.stored;
    for (const Check box : kImages) {
      const bool expected = std::find(c.checked.begin(), c.checked.end(), box) != c.checked.end();
      EXPECT_EQ(w.value(box), expected ? 1 : 0) << c.stored << " box " << static_cast<int>(box);
    }
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SettingsStoreTest, UnreadableStoredValuesShowMessage47OnceAndKeepTheWindowUsable) {
  struct Case {
    const char* what;
    int32_t renameMethod;
    const char* lastExecute;
    std::optional<RenameMethod> selected;
  };
  const Case cases[] = {
      {"method 2 is no known method", 2, "2026/12/01 10:00:00", std::nullopt},
      {"method beyond a byte", 300, "2026/12/01 10:00:00", RenameMethod::DateTime},
      {"negative method", -1, "2026/12/01", RenameMethod::DateTime},
      {"date that is no date", 1, "yesterday", RenameMethod::SerialNumber},
      {"day that does not exist", 1, "2026/02/30", RenameMethod::SerialNumber},
      {"both at once", 300, "2026/13/01", RenameMethod::DateTime},
  };
  for (const Case& c : cases) {
    ui.boxes.clear();
    store("strServerDir", kRegSz, std::string("/data/in"));
    store("chkExtFix", kRegDword, true);
    store("bytBytRenameMethod", kRegDword, c.renameMethod);
    store("datLastExecute", kRegSz, std::string(c.lastExecute));
    FakeWindow w(&ui);
    EXPECT_FALSE(gDspSettingData(w)) << c.what;
    EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"過去の設定データを#47"}) << c.what;
    EXPECT_EQ(w.caption(FolderLabel::ServerDir), "/data/in") << c.what;
    EXPECT_EQ(w.value(Check::ExtFix), 1) << c.what;
    EXPECT_EQ(w.selected, c.selected) << c.what;
  }
  EXPECT_TRUE(ui.endCodes.empty());
}

TEST_F(SettingsStoreTest, DamagedStoreStartsWithDefaultsAndTheNextSaveRepairsIt) {
  fs::create_directories(fs::path(registryStorePath()).parent_path());
  env.writeFile(fs::relative(registryStorePath(), env.root()), 3000, '\x07');
  FakeWindow w(&ui);
  EXPECT_TRUE(gDspSettingData(w));
  EXPECT_EQ(w.selected, RenameMethod::DateTime);
  EXPECT_EQ(w.text(Text::LimitCount), "0");

  fillValid(w);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:00:00"));
  FakeWindow again(&ui);
  EXPECT_TRUE(gDspSettingData(again));
  EXPECT_EQ(again.caption(FolderLabel::ServerDir), (env.root() / "in").string());
  EXPECT_EQ(again.value(Check::AllFile), 1);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(SettingsStoreTest, FailedWriteTakesTheFatalPathAndStops) {
  const fs::path notAFolder = env.writeFile("file-not-folder", 1);
  env.setVar("XDG_CONFIG_HOME", notAFolder.string());
  FakeWindow w(&ui);
  fillValid(w);
  EXPECT_THROW(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:00:00"), common::ProgramEnded);
  EXPECT_EQ(ui.endCodes.size(), 1u);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes[0].text, "致命的エラーが発生しました。\r\nこのアプリケーションを終了します。");
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("gSetSettingData (m_sifter)"), std::string::npos);
  // The cause comes first, in the system's words.
  const std::string cause = (notAFolder / "m_sifter").string() + ": " + std::strerror(ENOTDIR) +
                            "\r\nエラー番号：76\r\ngSetRegValue (m_sifter)";
  EXPECT_LT(log.find(cause), log.find("gSetSettingData (m_sifter)")) << log;
}

// The store's file change counter (bytes 24 to 27 of its header, big-endian):
// one more for every transaction that wrote to it.
uint32_t storeChangeCounter() {
  std::ifstream in(registryStorePath(), std::ios::binary);
  unsigned char bytes[28] = {};
  in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  return (uint32_t{bytes[24]} << 24) | (uint32_t{bytes[25]} << 16) | (uint32_t{bytes[26]} << 8) |
         bytes[27];
}

// Another connection holding the store locked for writing, as another
// process would, until it is closed.
common::sqlite::Connection lockStoreElsewhere() {
  int rc = SQLITE_OK;
  common::sqlite::Connection db =
      common::sqlite::open(registryStorePath(), SQLITE_OPEN_READWRITE, rc);
  EXPECT_TRUE(common::sqlite::exec(db.get(), "BEGIN EXCLUSIVE"));
  return db;
}

TEST_F(SettingsStoreTest, SaveIsOneTransaction) {
  FakeWindow w(&ui);
  fillValid(w);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:00:00"));
  const uint32_t before = storeChangeCounter();
  w.setValue(Check::Copy, 1);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:05:00"));
  EXPECT_EQ(storeChangeCounter(), before + 1);
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, kSettingsKey, "chkCopy", kRegDword, int32_t{0}),
            RegValue(int32_t{-1}));
}

TEST_F(SettingsStoreTest, LockedStoreCostsOneWaitThenDefaultsAndMessage47) {
  store("strServerDir", kRegSz, std::string("/data/in"));
  store("chkCopy", kRegDword, true);
  const common::sqlite::Connection held = lockStoreElsewhere();
  FakeWindow w(&ui);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(gDspSettingData(w));
  // About one wait of two seconds; one per value would be 38.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(w.caption(FolderLabel::ServerDir), "");
  EXPECT_EQ(w.value(Check::Copy), 0);
  EXPECT_EQ(w.selected, RenameMethod::DateTime);
  EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"過去の設定データを#47"});
  EXPECT_TRUE(ui.endCodes.empty());
  const std::string log = env.errorLog();
  const std::string cause =
      registryStorePath() + ": database is locked\r\nエラー番号：70\r\ngGetRegValue (m_sifter)";
  EXPECT_NE(log.find(cause), std::string::npos) << log;
  EXPECT_EQ(log.find("gGetRegValue (m_sifter)", log.find(cause) + cause.size()), std::string::npos)
      << "logged more than once";
}

TEST_F(SettingsStoreTest, SaveToALockedStoreEndsWithTheCauseInTheLog) {
  FakeWindow w(&ui);
  fillValid(w);
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:00:00"));
  const common::sqlite::Connection held = lockStoreElsewhere();
  EXPECT_THROW(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:05:00"), common::ProgramEnded);
  const std::string log = env.errorLog();
  const std::string cause =
      registryStorePath() + ": database is locked\r\nエラー番号：70\r\ngSetRegValue (m_sifter)";
  EXPECT_LT(log.find(cause), log.find("gSetSettingData (m_sifter)")) << log;
}

TEST_F(SettingsStoreTest, LimitTextThatIsNotANumberTakesTheFatalPath) {
  store("strServerDir", kRegSz, std::string("/before"));
  FakeWindow w(&ui);
  fillValid(w);
  w.setText(Text::LimitCount, "12x");
  // The window's options are numbers before anything is saved: the check
  // reads every box, and a text that is not one ends there.
  EXPECT_THROW(gChkSettingData(w), common::ProgramEnded);
  EXPECT_NE(env.errorLog().find("gChkSettingData (m_sifter)"), std::string::npos);
  EXPECT_THROW(optionsFromWindow(w), common::RuntimeFailure);
  // Nothing lands, not even the values before the bad one.
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, kSettingsKey, "strServerDir", kRegSz, std::string()),
            RegValue(std::string("/before")));
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, kSettingsKey, "chkLimitCount", kRegDword, int32_t{9}),
            RegValue(int32_t{9}));

  FakeWindow check(&ui);
  fillValid(check);
  check.setText(Text::LimitMaxSize, "ten");
  EXPECT_THROW(gChkSettingData(check), common::ProgramEnded);
  EXPECT_NE(env.errorLog().find("gChkSettingData (m_sifter)"), std::string::npos);
}

// One click on a target-type box, then the enable rules, as the window does.
// The other-extensions text is usable (enabled, window colour) or greyed
// (disabled, menu colour).
enum class OtherText { Usable, Greyed };

struct ClickCase {
  const char* what;
  std::vector<Check> checkedBefore;
  Check clicked;
  std::vector<Check> checkedAfter;  // of the eight target boxes
  std::vector<Check> enabledAfter;  // of the eight target boxes
  OtherText otherText;
};

void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.what; }

class EnableRulesTest : public SettingsStoreTest,
                        public ::testing::WithParamInterface<ClickCase> {};

TEST_P(EnableRulesTest, ClickThenRules) {
  const ClickCase& c = GetParam();
  FakeWindow w(&ui);
  for (const Check box : c.checkedBefore) w.setValue(box, 1);
  ASSERT_TRUE(gDspSettingData2(w));  // the state the window had before the click
  w.setValue(c.clicked, w.value(c.clicked) == 1 ? 0 : 1);
  ASSERT_TRUE(gDspSettingData2(w));
  for (const Check box : kTargets) {
    const auto in = [&](const std::vector<Check>& list) {
      return std::find(list.begin(), list.end(), box) != list.end();
    };
    EXPECT_EQ(w.value(box), in(c.checkedAfter) ? 1 : 0) << "value of " << static_cast<int>(box);
    EXPECT_EQ(w.isEnabled(box), in(c.enabledAfter)) << "enabled of " << static_cast<int>(box);
  }
  const bool usable = c.otherText == OtherText::Usable;
  EXPECT_EQ(w.isTextEnabled(Text::Other), usable);
  EXPECT_EQ(w.backgrounds.at(Text::Other), usable ? Background::Window : Background::Menu);
  for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
    EXPECT_TRUE(w.isTextEnabled(box));
  }
}

using enum Check;
using enum OtherText;

const std::vector<Check> kGraphicsAndImages = {Graphics, BMP, GIF, TIFF, JPG, PNG, PCD};

std::vector<Check> with(std::vector<Check> boxes, std::initializer_list<Check> more) {
  boxes.insert(boxes.end(), more);
  return boxes;
}

INSTANTIATE_TEST_SUITE_P(
    NineTargetBoxes, EnableRulesTest,
    ::testing::Values(ClickCase{"all files on", {GIF}, AllFile, kTargets, {}, Greyed},
                      ClickCase{"all files off keeps every type checked",
                                {AllFile},
                                AllFile,
                                kTargets,
                                kTargets,
                                Usable},
                      ClickCase{"images off clears the six",
                                with(kGraphicsAndImages, {Other}),
                                Graphics,
                                {Other},
                                {Graphics, Other},
                                Usable},
                      ClickCase{"images on", {}, Graphics, {Graphics}, kTargets, Greyed},
                      ClickCase{"BMP", {Graphics}, BMP, {Graphics, BMP}, kTargets, Greyed},
                      ClickCase{"GIF", {Graphics, GIF}, GIF, {Graphics}, kTargets, Greyed},
                      ClickCase{"TIFF", {Graphics}, TIFF, {Graphics, TIFF}, kTargets, Greyed},
                      ClickCase{"JPG", {Graphics}, JPG, {Graphics, JPG}, kTargets, Greyed},
                      ClickCase{
                          "PNG", {Graphics, Other}, PNG, {Graphics, PNG, Other}, kTargets, Usable},
                      ClickCase{"PCD", {Graphics}, PCD, {Graphics, PCD}, kTargets, Greyed},
                      ClickCase{"other on", {}, Other, {Other}, {Graphics, Other}, Usable},
                      ClickCase{"other off", {Other}, Other, {}, {Graphics, Other}, Greyed}),
    [](const auto& row) {
      std::string name;
      for (const char ch : std::string(row.param.what))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

// The window changed from a valid one, and what validation then says: the
// message box's text ("" when it passes) and where the focus goes.
struct CheckCase {
  const char* what;
  std::vector<std::pair<Check, int>> checks = {};
  std::vector<std::pair<Text, std::string>> texts = {};
  void (*captions)(FakeWindow&) = nullptr;
  std::optional<FolderLabel> missing = std::nullopt;  // names a folder that is not there
  const char* box;
  std::optional<Focus> focus = std::nullopt;
  bool focusBeforeBox = false;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.what; }

class ValidationTest : public SettingsStoreTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ValidationTest, FirstFailingCheckSpeaks) {
  const CheckCase& c = GetParam();
  FakeWindow w(&ui);
  fillValid(w);
  for (const auto& [box, value] : c.checks) w.setValue(box, value);
  for (const auto& [box, text] : c.texts) w.setText(box, text);
  if (c.captions) c.captions(w);
  if (c.missing) w.setCaption(*c.missing, w.caption(*c.missing) + "/gone");
  const bool passed = gChkSettingData(w);
  EXPECT_EQ(passed, std::string(c.box).empty());
  if (passed) {
    EXPECT_TRUE(ui.boxes.empty());
  } else {
    EXPECT_EQ(boxTexts(ui), std::vector<std::string>{c.box});
  }
  if (c.focus) {
    ASSERT_EQ(w.focusMoves.size(), 1u);
    EXPECT_EQ(w.focusMoves[0].first, *c.focus);
    EXPECT_EQ(w.focusMoves[0].second, c.focusBeforeBox ? 0u : 1u);
  } else {
    EXPECT_TRUE(w.focusMoves.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, ValidationTest,
    ::testing::Values(
        CheckCase{.what = "all_in_order", .box = ""},
        CheckCase{.what = "no_source",
                  .captions = [](FakeWindow& w) { w.setCaption(FolderLabel::ServerDir, "   "); },
                  .box = "移動元のフォルダを#37",
                  .focus = Focus::ServerSelect,
                  .focusBeforeBox = true},
        CheckCase{.what = "no_destination",
                  .checks = {{AllFile, 0}},
                  .captions = [](FakeWindow& w) { w.setCaption(FolderLabel::ReceiveDir, ""); },
                  .box = "移動先のフォルダを#37",
                  .focus = Focus::ReceiveSelect,
                  .focusBeforeBox = true},
        CheckCase{.what = "source_missing",
                  .missing = FolderLabel::ServerDir,
                  .box = "移動元のフォルダが#58"},
        CheckCase{.what = "destination_missing",
                  .missing = FolderLabel::ReceiveDir,
                  .box = "移動先のフォルダが#58"},
        CheckCase{.what = "no_file_kind", .checks = {{AllFile, 0}}, .box = "検索ファイルを#37"},
        CheckCase{.what = "images_without_type_even_with_other",
                  .checks = {{AllFile, 0}, {Graphics, 1}, {Other, 1}},
                  .box = "検索ファイルを#37"},
        CheckCase{
            .what = "one_image_type", .checks = {{AllFile, 0}, {Graphics, 1}, {PNG, 1}}, .box = ""},
        CheckCase{.what = "other_only", .checks = {{AllFile, 0}, {Other, 1}}, .box = ""},
        CheckCase{.what = "min_equal_to_max",
                  .checks = {{LimitMinSize, 1}, {LimitMaxSize, 1}},
                  .texts = {{Text::LimitMinSize, "10"}, {Text::LimitMaxSize, "10"}},
                  .box = "#1",
                  .focus = Focus::LimitMinSize},
        CheckCase{.what = "min_below_max",
                  .checks = {{LimitMinSize, 1}, {LimitMaxSize, 1}},
                  .texts = {{Text::LimitMinSize, "5"}, {Text::LimitMaxSize, "10"}},
                  .box = ""},
        CheckCase{.what = "min_above_max_with_min_off",
                  .checks = {{LimitMaxSize, 1}},
                  .texts = {{Text::LimitMinSize, "50"}, {Text::LimitMaxSize, "10"}},
                  .box = ""},
        CheckCase{.what = "max_zero",
                  .checks = {{LimitMaxSize, 1}},
                  .texts = {{Text::LimitMaxSize, "0"}},
                  .box = "#1",
                  .focus = Focus::LimitMaxSize},
        CheckCase{.what = "max_empty_becomes_zero",
                  .checks = {{LimitMaxSize, 1}},
                  .texts = {{Text::LimitMaxSize, "  "}},
                  .box = "#1",
                  .focus = Focus::LimitMaxSize},
        CheckCase{
            .what = "max_zero_with_limit_off", .texts = {{Text::LimitMaxSize, "0"}}, .box = ""}),
    [](const auto& row) { return std::string(row.param.what); });

TEST_F(SettingsStoreTest, EmptyLimitTextsBecomeZeroAndZeroIsSaved) {
  FakeWindow w(&ui);
  fillValid(w);
  setLimitTexts(w, "", " ", "");
  ASSERT_TRUE(gChkSettingData(w));
  EXPECT_EQ(w.text(Text::LimitCount), "0");
  EXPECT_EQ(w.text(Text::LimitMinSize), "0");
  EXPECT_EQ(w.text(Text::LimitMaxSize), "0");
  ASSERT_TRUE(gSetSettingData(optionsFromWindow(w), "2026/12/07 09:00:00"));
  EXPECT_EQ(gGetRegValue(kHKeyCurrentUser, kSettingsKey, "lngLimitMinSize", kRegDword, int32_t{9}),
            RegValue(int32_t{0}));
}

// The folders are tested as the window's folder icons test them: "." at the
// end names no folder of its own.
TEST_F(SettingsStoreTest, FoldersAreTestedAsTheProgramTestsThem) {
  FakeWindow w(&ui);
  fillValid(w);
  w.setCaption(FolderLabel::ServerDir, (env.root() / "in" / ".").string());
  EXPECT_FALSE(gChkSettingData(w));
  EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"移動元のフォルダが#58"});
}

}  // namespace
}  // namespace msifter::settings
