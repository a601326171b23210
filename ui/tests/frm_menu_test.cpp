// SPDX-License-Identifier: GPL-3.0-or-later
// The main window at work: loading the saved options, the enable rules, the
// checks before a run, and whole runs over a temporary tree.
#include "ui/frm_menu.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <regex>
#include <thread>

#include "engine/run.h"
#include "settings/settings_store.h"
#include "ui/forms.h"
#include "ui/run_view.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using settings::Check;
using settings::FolderLabel;
using settings::Text;

std::vector<std::string> listEntries(FrmMenu& window) {
  std::vector<std::string> entries;
  const QAbstractItemModel* rows = window.findChild<QListView*>("lstResult")->model();
  for (int i = 0; i < rows->rowCount(); ++i)
    entries.push_back(rows->index(i, 0).data().toString().toStdString());
  return entries;
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::ranges::sort(names);
  return names;
}

class FrmMenuTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window.load();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  // A window ready to run: both folders set, every file type, nothing else.
  void prepareRun(const fs::path& source, const fs::path& destination) {
    options.setCaption(FolderLabel::ServerDir, source.string());
    options.setCaption(FolderLabel::ReceiveDir, destination.string());
    options.setValue(Check::AllFile, 1);
    window.targetType_Click();
    options.setValue(Check::SubFolder, 1);
    options.select(settings::RenameMethod::SerialNumber);
  }

  QCheckBox* box(const char* name) { return window.findChild<QCheckBox*>(name); }

  // Each box in `names`: whether it is ticked and whether it can be clicked.
  void expectBoxes(std::initializer_list<const char*> names, bool checked, bool enabled) {
    for (const char* name : names) {
      EXPECT_EQ(box(name)->isChecked(), checked) << name;
      EXPECT_EQ(box(name)->isEnabled(), enabled) << name;
    }
  }

  FrmMenu window;
  settings::SettingsWindow& options = window.settingsView();
};

TEST_F(FrmMenuTest, FirstStartShowsTheDefaultsWithoutAMessage) {
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(window.windowTitle().toStdString(), "m_sifter     ファイル検索移動プログラム");
  EXPECT_EQ(options.caption(FolderLabel::ServerDir), "");
  EXPECT_EQ(options.caption(FolderLabel::ReceiveDir), "");
  for (int check = 0; check <= static_cast<int>(Check::ExtFix); ++check) {
    EXPECT_EQ(options.value(static_cast<Check>(check)), 0) << check;
  }
  EXPECT_EQ(options.text(Text::LimitCount), "0");
  EXPECT_EQ(options.text(Text::LimitMinSize), "0");
  EXPECT_EQ(options.text(Text::LimitMaxSize), "0");
  EXPECT_TRUE(options.isSelected(settings::RenameMethod::DateTime));
}

TEST_F(FrmMenuTest, LoadShowsWhatTheLastRunSaved) {
  const fs::path source = env.root() / "photos";
  options.setCaption(FolderLabel::ServerDir, source.string());
  options.setCaption(FolderLabel::ReceiveDir, "/nowhere/sorted");
  for (const Check check : {Check::LimitCount, Check::LimitMaxSize, Check::Copy, Check::Graphics,
                            Check::GIF, Check::PCD, Check::Other, Check::ExtFix}) {
    options.setValue(check, 1);
  }
  options.setText(Text::LimitCount, "25");
  options.setText(Text::LimitMinSize, "3");
  options.setText(Text::LimitMaxSize, "900");
  options.setText(Text::Other, ".raw;.nef");
  options.select(settings::RenameMethod::SerialNumber);
  // As Execute saves them.
  settings::gSetSettingData(settings::optionsFromWindow(options), "2024/03/15 09:30:00");

  FrmMenu reloaded;
  reloaded.load();
  EXPECT_TRUE(recorder.boxes.empty()) << recorder.boxes[0].text;
  EXPECT_EQ(reloaded.settingsView().caption(FolderLabel::ServerDir), source.string());
  EXPECT_EQ(reloaded.findChild<QLabel*>("lblServerDir")->text().toStdString(), source.string());
  EXPECT_EQ(reloaded.settingsView().caption(FolderLabel::ReceiveDir), "/nowhere/sorted");
  for (const Check check : {Check::LimitCount, Check::LimitMaxSize, Check::Copy, Check::Graphics,
                            Check::GIF, Check::PCD, Check::Other, Check::ExtFix}) {
    EXPECT_EQ(reloaded.settingsView().value(check), 1) << static_cast<int>(check);
  }
  for (const Check check : {Check::SubFolder, Check::LimitMinSize, Check::Slowly, Check::AllFile,
                            Check::BMP, Check::JPG, Check::TIFF, Check::PNG}) {
    EXPECT_EQ(reloaded.settingsView().value(check), 0) << static_cast<int>(check);
  }
  EXPECT_EQ(reloaded.settingsView().text(Text::LimitCount), "25");
  EXPECT_EQ(reloaded.settingsView().text(Text::LimitMinSize), "3");
  EXPECT_EQ(reloaded.settingsView().text(Text::LimitMaxSize), "900");
  EXPECT_EQ(reloaded.settingsView().text(Text::Other), ".raw;.nef");
  EXPECT_TRUE(reloaded.settingsView().isSelected(settings::RenameMethod::SerialNumber));
  // The enable rules ran after the values came in.
  EXPECT_TRUE(reloaded.settingsView().isEnabled(Check::GIF));
  EXPECT_TRUE(reloaded.settingsView().isTextEnabled(Text::Other));
}

TEST_F(FrmMenuTest, ClicksOnTheTypeBoxesReapplyTheEnableRules) {
  // Defaults: no image group, no other files.
  EXPECT_FALSE(box("chkBMP")->isEnabled());
  EXPECT_FALSE(window.findChild<QLineEdit*>("txtOTher")->isEnabled());

  QTest::mouseClick(box("ChkAllFile"), Qt::LeftButton);
  EXPECT_TRUE(box("ChkAllFile")->isChecked());
  expectBoxes(
      {"ChkGraphics", "chkBMP", "chkGIF", "chkJPG", "chkPNG", "chkTIFF", "chkPCD", "chkOther"},
      true, false);
  EXPECT_FALSE(window.findChild<QLineEdit*>("txtOTher")->isEnabled());

  QTest::mouseClick(box("ChkAllFile"), Qt::LeftButton);
  expectBoxes(
      {"ChkGraphics", "chkBMP", "chkGIF", "chkJPG", "chkPNG", "chkTIFF", "chkPCD", "chkOther"},
      true, true);
  EXPECT_TRUE(window.findChild<QLineEdit*>("txtOTher")->isEnabled());

  QTest::mouseClick(box("ChkGraphics"), Qt::LeftButton);
  expectBoxes({"chkBMP", "chkGIF", "chkJPG", "chkPNG", "chkTIFF", "chkPCD"}, false, false);

  QTest::mouseClick(box("chkOther"), Qt::LeftButton);
  EXPECT_FALSE(window.findChild<QLineEdit*>("txtOTher")->isEnabled());

  // The limit boxes have no rules of their own.
  const bool countFieldEnabled = window.findChild<QLineEdit*>("txtLimitCount")->isEnabled();
  QTest::mouseClick(box("chkLimitCount"), Qt::LeftButton, {}, QPoint(4, 10));
  EXPECT_EQ(window.findChild<QLineEdit*>("txtLimitCount")->isEnabled(), countFieldEnabled);
}

void bothFolders(settings::SettingsWindow& w, const fs::path& dir) {
  w.setCaption(FolderLabel::ServerDir, dir.string());
  w.setCaption(FolderLabel::ReceiveDir, dir.string());
  w.setValue(Check::AllFile, 1);
}

struct ValidationCase {
  const char* what;
  void (*arrange)(settings::SettingsWindow&, const fs::path& existing);
  int16_t code;
  std::string prefix;
  const char* focused;  // nullptr: focus does not matter
};

const ValidationCase kValidationCases[] = {
    {"no source", [](settings::SettingsWindow&, const fs::path&) {}, 37, "移動元のフォルダを",
     "cmdServerSelect"},
    {"no destination",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       w.setCaption(FolderLabel::ServerDir, dir.string());
     },
     37, "移動先のフォルダを", "cmdReceiveSelect"},
    {"missing source",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       w.setCaption(FolderLabel::ServerDir, (dir / "gone").string());
       w.setCaption(FolderLabel::ReceiveDir, dir.string());
     },
     58, "移動元のフォルダが", nullptr},
    {"missing destination",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       w.setCaption(FolderLabel::ServerDir, dir.string());
       w.setCaption(FolderLabel::ReceiveDir, (dir / "gone").string());
     },
     58, "移動先のフォルダが", nullptr},
    {"no file type",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       w.setCaption(FolderLabel::ServerDir, dir.string());
       w.setCaption(FolderLabel::ReceiveDir, dir.string());
     },
     37, "検索ファイルを", nullptr},
    {"minimum not below maximum",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       bothFolders(w, dir);
       w.setValue(Check::LimitMinSize, 1);
       w.setValue(Check::LimitMaxSize, 1);
       w.setText(Text::LimitMinSize, "10");
       w.setText(Text::LimitMaxSize, "10");
     },
     1, "", "txtLimitMinSize"},
    {"maximum of zero",
     [](settings::SettingsWindow& w, const fs::path& dir) {
       bothFolders(w, dir);
       w.setValue(Check::LimitMaxSize, 1);
       w.setText(Text::LimitMaxSize, "0");
     },
     1, "", "txtLimitMaxSize"},
};

TEST_F(FrmMenuTest, EachRejectedOptionShowsItsMessageAndStartsNothing) {
  const fs::path existing = env.root() / "exists";
  fs::create_directories(existing);
  for (const ValidationCase& c : kValidationCases) {
    SCOPED_TRACE(c.what);
    FrmMenu fresh;
    fresh.load();
    fresh.show();
    fresh.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&fresh));
    // As a finished run leaves it.
    fresh.lstResult() = {"kept from before"};
    fresh.runView().leaveBusyState();
    c.arrange(fresh.settingsView(), existing);
    recorder.boxes.clear();
    recorder.busyChanges.clear();

    fresh.cmdExecute_Click();

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text.rfind(c.prefix, 0), 0u) << recorder.boxes[0].text;
    EXPECT_GT(recorder.boxes[0].text.size(), c.prefix.size());
    if (c.focused != nullptr) {
      EXPECT_TRUE(fresh.findChild<QWidget*>(c.focused)->hasFocus());
    }
    EXPECT_TRUE(fresh.isEnabled());
    EXPECT_TRUE(recorder.busyChanges.empty());
    EXPECT_EQ(listEntries(fresh), std::vector<std::string>{"kept from before"});
    EXPECT_FALSE(fresh.isRunning());
  }
}

class FrmMenuRun : public FrmMenuTest {
 protected:
  void SetUp() override {
    FrmMenuTest::SetUp();
    makeRunFolders(source, destination, {{"b.txt", 20}, {"a.txt", 10}, {"sub/c.jpg", 30}});
  }

  fs::path source = env.root() / "source";
  fs::path destination = env.root() / "destination";
};

TEST_F(FrmMenuRun, ExecuteMovesEveryFileUnderItsNewNameAndListsTheSources) {
  prepareRun(source, destination);
  window.cmdExecute_Click();

  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(namesIn(destination),
            (std::vector<std::string>{"0000000000_a.txt", "0000000001_b.txt", "0000000002_c.jpg"}));
  EXPECT_EQ(namesIn(source), std::vector<std::string>{"sub"});
  EXPECT_TRUE(namesIn(source / "sub").empty());
  EXPECT_EQ(listEntries(window),
            (std::vector<std::string>{(source / "a.txt").string(), (source / "b.txt").string(),
                                      (source / "sub" / "c.jpg").string()}));
  EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->text().toStdString(),
            "処理結果： 3 ファイル   60 バイト   処理時間 0 秒");
  // Idle again.
  EXPECT_TRUE(window.isEnabled());
  EXPECT_TRUE(window.findChild<QListView*>("lstResult")->isVisible());
  EXPECT_TRUE(window.findChild<QToolButton*>("cmdExecute")->isVisible());
  EXPECT_TRUE(window.findChild<QToolButton*>("cmdEnd")->isVisible());
  EXPECT_EQ(recorder.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_FALSE(window.isRunning());

  // The options were saved as the run started.
  FrmMenu reloaded;
  reloaded.load();
  EXPECT_EQ(reloaded.settingsView().caption(FolderLabel::ServerDir), source.string());
  EXPECT_EQ(reloaded.settingsView().value(Check::AllFile), 1);
}

TEST_F(FrmMenuRun, ExecuteWithCopyLeavesTheSourcesInPlace) {
  prepareRun(source, destination);
  options.setValue(Check::Copy, 1);
  options.setValue(Check::SubFolder, 0);
  window.cmdExecute_Click();

  EXPECT_EQ(namesIn(destination),
            (std::vector<std::string>{"0000000000_a.txt", "0000000001_b.txt"}));
  EXPECT_EQ(namesIn(source), (std::vector<std::string>{"a.txt", "b.txt", "sub"}));
  EXPECT_EQ(readText(destination / "0000000001_b.txt"), std::string(20, 'x'));
  EXPECT_EQ(listEntries(window),
            (std::vector<std::string>{(source / "a.txt").string(), (source / "b.txt").string()}));
  EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->text().toStdString(),
            "処理結果： 2 ファイル   30 バイト   処理時間 0 秒");
}

TEST_F(FrmMenuRun, NamesThatAreNotUtf8ShowWithReplacementsAndTheNextRunLetsTheListGo) {
  env.writeFile("source/caf\xe9.txt", 5);  // Latin-1, as an old camera card may hold it
  prepareRun(source, destination);
  window.cmdExecute_Click();
  const std::vector<std::string> shown = listEntries(window);
  EXPECT_EQ(shown.size(), 4u);
  EXPECT_NE(std::find(shown.begin(), shown.end(), (source / "caf\xef\xbf\xbd.txt").string()),
            shown.end());
  EXPECT_GE(window.lstResult().capacity(), 4u);

  const fs::path empty = env.root() / "empty";
  fs::create_directories(empty);
  prepareRun(empty, destination);
  window.cmdExecute_Click();
  EXPECT_TRUE(listEntries(window).empty());
  EXPECT_EQ(window.lstResult().capacity(), 0u);
  EXPECT_EQ(window.findChild<QLabel*>("lblProgress")->text().toStdString(),
            "処理結果： 0 ファイル   0 バイト   処理時間 0 秒");
}

TEST_F(FrmMenuRun, WindowStaysPaintedDisabledAndOpenDuringARun) {
  window.lstResult() = {"from the last run"};
  window.runView().leaveBusyState();
  prepareRun(source, destination);
  options.setValue(Check::Slowly, 1);  // three pauses of half a second
  int ticks = 0;
  bool sawDisabled = false;
  bool sawListHidden = false;
  bool sawNoRows = false;
  std::string progress;
  bool sawButtonsHidden = false;
  bool closeRefused = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    ++ticks;
    const QString shown = window.findChild<QLabel*>("lblProgress")->text();
    if (shown.endsWith('/')) progress = shown.toStdString();
    if (ticks == 8) {
      sawDisabled = !window.isEnabled();
      sawListHidden = !window.findChild<QListView*>("lstResult")->isVisible();
      // The run is changing the list the rows are read from.
      sawNoRows = window.findChild<QListView*>("lstResult")->model()->rowCount() == 0;
      sawButtonsHidden = !window.findChild<QToolButton*>("cmdExecute")->isVisible() &&
                         !window.findChild<QToolButton*>("cmdEnd")->isVisible();
      closeRefused = !window.close();
    }
  });
  probe.start(50);
  window.cmdExecute_Click();
  probe.stop();

  // The event loop kept turning through the pauses.
  EXPECT_GE(ticks, 15);
  EXPECT_TRUE(sawDisabled);
  EXPECT_TRUE(sawListHidden);
  EXPECT_TRUE(sawNoRows);
  // While the pauses go on after the search, the last folder it entered shows.
  EXPECT_EQ(progress, (source / "sub").string() + "/");
  EXPECT_TRUE(sawButtonsHidden);
  EXPECT_TRUE(closeRefused);
  EXPECT_EQ(recorder.endProcessingCalls, 0);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(namesIn(destination).size(), 3u);
}

TEST_F(FrmMenuRun, FailureDuringTheRunTakesTheFatalPath) {
  // Its extension alone leaves no room for a new name, so the move fails.
  const std::string longName = "n." + std::string(250, 'x');
  env.writeFile("source/" + longName, 5);
  prepareRun(source, destination);

  EXPECT_THROW(window.cmdExecute_Click(), common::ProgramEnded);

  EXPECT_EQ(recorder.endProcessingCalls, 1);
  ASSERT_EQ(recorder.endCodes.size(), 1u);
  ASSERT_FALSE(recorder.boxes.empty());
  EXPECT_NE(recorder.boxes[0].text.find("致命的エラーが発生しました。"), std::string::npos);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("mMoveFile (m_sifter)でエラーが発生しました。"), std::string::npos) << log;
  EXPECT_NE(log.find("gProcess1 (m_sifter)でエラーが発生しました。"), std::string::npos) << log;
  // The files before the failing one were moved.
  EXPECT_EQ(namesIn(destination),
            (std::vector<std::string>{"0000000000_a.txt", "0000000001_b.txt"}));
}

// A number the window's boxes hold that does not fit 32 bits (only the
// program can put one there) ends the program at the check, before anything
// is saved or moved.
TEST_F(FrmMenuRun, ANumberThatDoesNotFitEndsTheProgram) {
  prepareRun(source, destination);
  options.setText(Text::LimitMinSize, "2e300");
  EXPECT_THROW(window.cmdExecute_Click(), common::ProgramEnded);
  EXPECT_NE(env.errorLog().find("gChkSettingData (m_sifter)"), std::string::npos);
  EXPECT_TRUE(fs::exists(source / "a.txt"));
  EXPECT_TRUE(namesIn(destination).empty());
}

// Execute notes its moment first and saves it with the options.
TEST_F(FrmMenuRun, TheMomentOfExecuteIsSavedWithTheOptions) {
  prepareRun(source, destination);
  window.cmdExecute_Click();
  EXPECT_TRUE(
      std::regex_match(window.lastExecute(), std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})")));
  settings::SavedSettings saved;
  ASSERT_TRUE(settings::gGetSettingData(saved));
  EXPECT_EQ(saved.lastExecute, window.lastExecute());
}

// The list a run refills is the run's while it works: debug builds stop
// another thread that touches it meanwhile.
TEST_F(FrmMenuRun, ASecondThreadStopsADebugBuildWhileARunHoldsTheList) {
#ifdef NDEBUG
  GTEST_SKIP() << "release builds do not check";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  prepareRun(source, destination);
  FrmMenu* self = nullptr;
  FrmMenu intruded([&](const options::RunOptions&, engine::RunObserver&) {
    std::thread([&] { (void)self->lstResult().size(); }).join();
    return engine::RunResult{};
  });
  self = &intruded;
  intruded.load();
  prepareRun(source, destination);
  settings::SettingsWindow& view = intruded.settingsView();
  view.setCaption(FolderLabel::ServerDir, source.string());
  view.setCaption(FolderLabel::ReceiveDir, destination.string());
  view.setValue(Check::AllFile, 1);
  EXPECT_DEATH(intruded.cmdExecute_Click(), "the run state: touched by a second");
#endif
}

TEST_F(FrmMenuTest, ClosingRunsTheEndProcessingWithoutSaving) {
  options.setCaption(FolderLabel::ServerDir, "/not/saved");
  EXPECT_TRUE(window.close());
  EXPECT_EQ(recorder.endProcessingCalls, 1);
  EXPECT_FALSE(window.isLoaded());
  FrmMenu reloaded;
  reloaded.load();
  EXPECT_EQ(reloaded.settingsView().caption(FolderLabel::ServerDir), "");
}

class FrmMenuSnapshot : public WindowTest {};

// What the run reads from the window, asked for on the run's own thread. The
// switches take three patterns in which no two of them are alike, so that a
// switch read from the wrong box shows.
TEST_F(FrmMenuSnapshot, TheRunTakesEveryOptionAsTheWindowShowsIt) {
  using engine::TransferOptions;
  struct Switch {
    Check box;
    bool (*option)(const TransferOptions&);
  };
  const Switch switches[] = {
      {Check::SubFolder, [](const TransferOptions& o) { return o.subFolder; }},
      {Check::LimitMinSize, [](const TransferOptions& o) { return o.bounds.useMinSize; }},
      {Check::LimitMaxSize, [](const TransferOptions& o) { return o.bounds.useMaxSize; }},
      {Check::LimitCount, [](const TransferOptions& o) { return o.bounds.useCountLimit; }},
      {Check::Copy, [](const TransferOptions& o) { return o.copyFiles; }},
      {Check::ExtFix, [](const TransferOptions& o) { return o.extFix; }},
      {Check::Slowly, [](const TransferOptions& o) { return o.slowly; }}};
  const fs::path photos = env.root() / "photos/caf\xe9";
  const fs::path sorted = env.root() / "sorted";
  fs::create_directories(photos);
  fs::create_directories(sorted);
  for (const int pattern : {0, 1, 2}) {
    SCOPED_TRACE(pattern);
    TransferOptions seen;
    std::thread::id runThread;
    FrmMenu window([&](const options::RunOptions& given, engine::RunObserver&) {
      runThread = std::this_thread::get_id();
      EXPECT_TRUE(engine::takeSnapshot(given, seen));
      return engine::RunResult{};
    });
    settings::SettingsWindow& options = window.settingsView();
    const auto on = [&](std::size_t i) { return (((i + 1) >> pattern) & 1) != 0; };
    for (std::size_t i = 0; i < std::size(switches); ++i) options.setValue(switches[i].box, on(i));
    // The run starts only with folders that are there and a file type.
    options.setCaption(FolderLabel::ServerDir, photos.string());  // not UTF-8: kept as bytes
    options.setCaption(FolderLabel::ReceiveDir, sorted.string());
    options.setValue(Check::AllFile, 1);
    options.setText(Text::LimitMinSize, "17");
    options.setText(Text::LimitMaxSize, "4000");
    options.setText(Text::LimitCount, "25");
    options.select(pattern == 1 ? settings::RenameMethod::SerialNumber
                                : settings::RenameMethod::DateTime);

    window.cmdExecute_Click();

    EXPECT_NE(runThread, std::this_thread::get_id());
    for (std::size_t i = 0; i < std::size(switches); ++i) {
      EXPECT_EQ(switches[i].option(seen), on(i)) << static_cast<int>(switches[i].box);
    }
    EXPECT_EQ(seen.serverDir, photos.string());
    EXPECT_EQ(seen.receiveDir, sorted.string());
    EXPECT_EQ(seen.targetList, "*");
    EXPECT_EQ(seen.bounds.minSizeBytes, 17 * 1024);
    EXPECT_EQ(seen.bounds.maxSizeBytes, 4000 * 1024);
    EXPECT_EQ(seen.bounds.countLimit, 25);
    EXPECT_EQ(seen.renameMethod,
              pattern == 1 ? engine::RenameMethod::SerialNumber : engine::RenameMethod::DateTime);
  }
}

}  // namespace
}  // namespace msifter::ui::testing
