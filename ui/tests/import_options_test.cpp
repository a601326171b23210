// SPDX-License-Identifier: GPL-3.0-or-later
// 取り込みの設定: the dialog's round trip through the store, its checks, the
// title while an option is on, and the window's runs that take them.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "settings/settings_store.h"
#include "ui/frm_menu.h"
#include "ui/import_options_dialog.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using settings::Check;
using settings::FolderLabel;

constexpr const char* kPlainTitle = "m_sifter     ファイル検索移動プログラム";

class ImportOptionsTest : public WindowTest {
 public:
  void SetUp() override {
    WindowTest::SetUp();
    makeRunFolders(source, destination, {{"a.txt", 10}, {"b.txt", 20}});
    window.load();
  }

  // Opens the dialog from the menu's handler and sets its controls.
  ImportOptionsDialog& openDialog() {
    window.mnuImportOptions_Click();
    EXPECT_NE(window.importOptionsDialog(), nullptr);
    return *window.importOptionsDialog();
  }
  template <class W>
  W* control(const char* name) {
    return window.importOptionsDialog()->findChild<W*>(name);
  }
  void pressOk() {
    control<QPushButton>("cmdOK")->click();
    QApplication::processEvents();
  }

  void prepareCopy() {
    settings::SettingsWindow& view = window.settingsView();
    view.setCaption(FolderLabel::ServerDir, source.string());
    view.setCaption(FolderLabel::ReceiveDir, destination.string());
    view.setValue(Check::AllFile, 1);
    view.setValue(Check::Copy, 1);
    window.targetType_Click();
  }
  // The dialog's check box `box` on (with none, as it was), OK, and a copy
  // by 実 行.
  void copyWith(const char* box) {
    openDialog();
    if (box != nullptr) control<QCheckBox>(box)->setChecked(true);
    pressOk();
    prepareCopy();
    window.cmdExecute_Click();
  }
  std::string summary() { return window.findChild<QLabel*>("lblProgress")->text().toStdString(); }
  std::size_t filesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
  }

  fs::path source = env.root() / "source";
  fs::path destination = env.root() / "destination";
  FrmMenu window;
  msifter::testing::TempEnv& temp = env;
};

TEST_F(ImportOptionsTest, OkStoresTheDialogsValuesAloneAndTheTitleSaysSo) {
  // The form's own saved values, which the dialog must leave as they are.
  options::RunOptions saved;
  saved.copyFiles = true;
  saved.receiveDir = "/media/photos";
  ASSERT_TRUE(settings::gSetSettingData(saved, "2024/05/01 09:06:37"));
  FrmMenu fresh;
  fresh.load();
  EXPECT_EQ(fresh.windowTitle().toStdString(), kPlainTitle);
  fresh.mnuImportOptions_Click();
  ImportOptionsDialog& dialog = *fresh.importOptionsDialog();
  dialog.findChild<QCheckBox*>("chkStamp")->setChecked(true);
  dialog.findChild<QCheckBox*>("chkGroups")->setChecked(false);
  dialog.findChild<QCheckBox*>("chkFolders")->setChecked(true);
  dialog.findChild<QLineEdit*>("txtFolders")->setText("%Y/%Y-%m");
  EXPECT_EQ(dialog.findChild<QLabel*>("lblFoldersExample")->text().toStdString(),
            "例：/media/photos/2024/2024-05/（2024/05/01 09:06:37 の写真）");
  dialog.findChild<QCheckBox*>("chkSkipIdentical")->setChecked(true);
  dialog.findChild<QLineEdit*>("txtTimeShift")->setText(" -1:00 ");
  dialog.findChild<QCheckBox*>("chkVideoLocal")->setChecked(true);
  dialog.findChild<QPushButton*>("cmdOK")->click();
  QApplication::processEvents();

  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(fresh.importOptionsDialog(), nullptr);
  EXPECT_EQ(fresh.windowTitle().toStdString(), std::string(kPlainTitle) + " — 取り込みの設定あり");
  settings::SavedSettings stored;
  ASSERT_TRUE(settings::gGetSettingData(stored));
  options::RunOptions expected = saved;
  expected.stamp = options::StampChoice::Capture;
  expected.groups = false;
  expected.folders = "%Y/%Y-%m";
  expected.skipIdentical = true;
  expected.timeShift = {-3600};
  expected.videoTime = options::VideoTime::Local;
  EXPECT_EQ(stored.options, expected);
  EXPECT_EQ(stored.lastExecute, "2024/05/01 09:06:37");

  // A window started later shows them, and with all off again its title
  // is the plain one.
  FrmMenu later;
  later.load();
  EXPECT_EQ(later.windowTitle().toStdString(), std::string(kPlainTitle) + " — 取り込みの設定あり");
  later.mnuImportOptions_Click();
  ImportOptionsDialog& again = *later.importOptionsDialog();
  EXPECT_TRUE(again.findChild<QCheckBox*>("chkStamp")->isChecked());
  EXPECT_FALSE(again.findChild<QCheckBox*>("chkGroups")->isChecked());
  EXPECT_EQ(again.findChild<QLineEdit*>("txtFolders")->text().toStdString(), "%Y/%Y-%m");
  EXPECT_TRUE(again.findChild<QCheckBox*>("chkSkipIdentical")->isChecked());
  EXPECT_EQ(again.findChild<QLineEdit*>("txtTimeShift")->text().toStdString(), "-1:00:00");
  EXPECT_TRUE(again.findChild<QCheckBox*>("chkVideoLocal")->isChecked());
  // Without capture-time names their correction is off too.
  for (const char* box : {"chkStamp", "chkFolders", "chkSkipIdentical"})
    again.findChild<QCheckBox*>(box)->setChecked(false);
  again.findChild<QPushButton*>("cmdOK")->click();
  QApplication::processEvents();
  EXPECT_EQ(later.windowTitle().toStdString(), kPlainTitle);
  ASSERT_TRUE(settings::gGetSettingData(stored));
  EXPECT_EQ(stored.options.timeShift, options::TimeShift{});
  EXPECT_EQ(stored.options.videoTime, options::VideoTime::Utc);
}

TEST_F(ImportOptionsTest, CancelKeepsWhatWasStored) {
  openDialog();
  control<QCheckBox>("chkSkipIdentical")->setChecked(true);
  control<QPushButton>("cmdCancel")->click();
  QApplication::processEvents();
  settings::SavedSettings stored;
  ASSERT_TRUE(settings::gGetSettingData(stored));
  EXPECT_FALSE(stored.options.skipIdentical);
  EXPECT_FALSE(window.optionsBeyondForm().skipIdentical);
}

// A value written wrong is told in the catalogue's words, the dialog stays
// open and nothing is stored.
TEST_F(ImportOptionsTest, OkRefusesWhatIsWrittenWrong) {
  struct Row {
    const char* what;
    const char* folders;  // nullptr: folders off
    std::string backup;   // "": no backup folder
    std::string message;
    const char* shift = nullptr;  // with capture-time names on
  };
  // As the run's check says it: the template, and why.
  const auto templateWrong = [](const std::string& text, const std::string& why) {
    return "フォルダの指定「" + text + "」（" + why +
           "）は使えません。移動先の中のフォルダを %Y %m %d %H %M %S %% とほかの文字で、階層を / "
           "で区切って指定して下さい（例: %Y/%m/%d）。";
  };
  const std::string noName = "名前のない階層があります";
  const std::string shiftWrong =
      "撮影日時の補正（+1:00 や -0:30:15 のように書きます）の書き方が正しくありません。";
  const Row rows[] = {
      {"empty template", "", "", templateWrong("", noName)},
      {"climbs out", "%Y/../x", "", templateWrong("%Y/../x", "「..」は移動先の外を指します")},
      {"from the root", "/%Y", "", templateWrong("/%Y", "「/」は移動先の外を指します")},
      {"an empty level", "%Y//%m", "", templateWrong("%Y//%m", noName)},
      {"a field of none", "%Y/%q", "", templateWrong("%Y/%q", "「%q」は使えない項目です")},
      {"a lone percent", "%Y%", "", templateWrong("%Y%", "「%」は使えない項目です")},
      {"backup not chosen", nullptr, "-", "バックアップ先のフォルダを選択して下さい。"},
      {"backup not there", nullptr, "gone", "バックアップ先のフォルダが存在しません。"},
      {"a shift of one digit minutes", nullptr, "", shiftWrong, "1:5"},
      {"a shift in words", nullptr, "", shiftWrong, "1 hour"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    recorder.boxes.clear();
    openDialog();
    control<QCheckBox>("chkFolders")->setChecked(row.folders != nullptr);
    if (row.folders != nullptr) control<QLineEdit>("txtFolders")->setText(row.folders);
    control<QCheckBox>("chkBackup")->setChecked(!row.backup.empty());
    control<QCheckBox>("chkStamp")->setChecked(row.shift != nullptr);
    if (row.shift != nullptr) control<QLineEdit>("txtTimeShift")->setText(row.shift);
    if (row.backup == "gone") window.importOptionsDialog()->setBackupFolder(env.root() / "gone");
    pressOk();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, row.message);
    ASSERT_NE(window.importOptionsDialog(), nullptr);
    EXPECT_TRUE(window.importOptionsDialog()->isVisible());
    control<QPushButton>("cmdCancel")->click();
    QApplication::processEvents();
  }
  settings::SavedSettings stored;
  ASSERT_TRUE(settings::gGetSettingData(stored));
  EXPECT_EQ(stored.options, options::RunOptions{});
}

// Pressed twice with skip-identical on, 実 行 copies each file once, and
// the summary says what it skipped.
TEST_F(ImportOptionsTest, ASecondRunWithSkipIdenticalCopiesNothing) {
  copyWith("chkSkipIdentical");
  EXPECT_EQ(filesIn(destination), 2u);
  EXPECT_EQ(summary(), "処理結果： 2 ファイル   30 バイト   処理時間 0 秒   スキップ 0 ファイル");
  window.cmdExecute_Click();
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(filesIn(destination), 2u);
  EXPECT_EQ(summary(), "処理結果： 0 ファイル   0 バイト   処理時間 0 秒   スキップ 2 ファイル");
}

// Without it, as the form has always done: the second run copies again.
TEST_F(ImportOptionsTest, WithEverythingOffASecondRunCopiesAgain) {
  copyWith(nullptr);
  window.cmdExecute_Click();
  EXPECT_EQ(filesIn(destination), 4u);
  EXPECT_EQ(summary(), "処理結果： 2 ファイル   30 バイト   処理時間 0 秒");
  EXPECT_EQ(window.windowTitle().toStdString(), kPlainTitle);
}

TEST_F(ImportOptionsTest, CaptureNamesTakeWhenThePhotoWasTaken) {
  // Without metadata the file's modification time is when it was taken.
  const auto taken = std::chrono::file_clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(source / "a.txt", taken);
  fs::remove(source / "b.txt");
  copyWith("chkStamp");
  ASSERT_EQ(filesIn(destination), 1u);
  const std::time_t when =
      std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(taken));
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  const std::string name = fs::directory_iterator(destination)->path().filename();
  EXPECT_EQ(name.substr(0, 14), stamp) << name;
}

// What a run cannot honour is refused before anything moves.
TEST_F(ImportOptionsTest, ARunRefusesWhatItCannotHonour) {
  struct Row {
    const char* what;
    void (*set)(ImportOptionsTest&);
    std::string message;
    const char* shift = nullptr;  // with capture-time names on
  };
  const Row rows[] = {
      {"the destination as its own backup folder",
       [](ImportOptionsTest& t) {
         t.control<QCheckBox>("chkBackup")->setChecked(true);
         t.window.importOptionsDialog()->setBackupFolder(t.destination);
       },
       "バックアップ先のフォルダ（--"
       "backup）は、移動元や移動先と同じフォルダ、またはその中のフォルダ"
       "にはできません。"},
      {"capture names with serial numbers",
       [](ImportOptionsTest& t) {
         t.control<QCheckBox>("chkStamp")->setChecked(true);
         t.window.settingsView().select(settings::RenameMethod::SerialNumber);
       },
       "撮影日時で名前を付ける設定（取り込みの設定）は、連番の名前と一緒には使えません。"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    window.settingsView().select(settings::RenameMethod::DateTime);
    openDialog();
    for (const char* box : {"chkStamp", "chkFolders", "chkSkipIdentical", "chkBackup"})
      control<QCheckBox>(box)->setChecked(false);
    row.set(*this);
    pressOk();
    ASSERT_TRUE(recorder.boxes.empty());
    prepareCopy();
    window.cmdExecute_Click();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, row.message);
    EXPECT_EQ(filesIn(destination), 0u);
    recorder.boxes.clear();
  }
}

// Folders by date are no longer refused: the window's run files each file
// into the folder of its moment, made below the destination.
// A move with a backup folder: each file in both places under one name,
// none left at its source.
TEST_F(ImportOptionsTest, ARunWithABackupFolderPutsEachFileInBoth) {
  const fs::path backup = env.root() / "backup";
  fs::create_directories(backup);
  openDialog();
  control<QCheckBox>("chkBackup")->setChecked(true);
  window.importOptionsDialog()->setBackupFolder(backup.string());
  pressOk();
  ASSERT_TRUE(recorder.boxes.empty());
  prepareCopy();
  window.settingsView().setValue(Check::Copy, 0);
  window.cmdExecute_Click();
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(filesIn(source), 0u);
  ASSERT_EQ(filesIn(destination), 2u);
  for (const auto& entry : fs::directory_iterator(destination)) {
    const fs::path twin = backup / entry.path().filename();
    ASSERT_TRUE(fs::exists(twin)) << twin;
    EXPECT_EQ(fs::file_size(twin), fs::file_size(entry.path()));
  }
  EXPECT_EQ(filesIn(backup), 2u);
}

TEST_F(ImportOptionsTest, ARunWithFoldersByDateFilesIntoThem) {
  openDialog();
  control<QCheckBox>("chkFolders")->setChecked(true);
  control<QLineEdit>("txtFolders")->setText("%Y/%m");
  pressOk();
  ASSERT_TRUE(recorder.boxes.empty());
  prepareCopy();
  const std::time_t before = std::time(nullptr);
  window.cmdExecute_Click();
  EXPECT_TRUE(recorder.boxes.empty());
  std::tm local{};
  localtime_r(&before, &local);
  char month[16];
  std::strftime(month, sizeof month, "%Y/%m", &local);
  // A run across the turn of a month files into the next one.
  fs::path folder = destination / month;
  if (!fs::exists(folder)) {
    const std::time_t after = std::time(nullptr);
    localtime_r(&after, &local);
    std::strftime(month, sizeof month, "%Y/%m", &local);
    folder = destination / month;
  }
  EXPECT_EQ(filesIn(destination), 1u);
  ASSERT_TRUE(fs::is_directory(folder)) << folder;
  EXPECT_EQ(filesIn(folder), 2u);
  EXPECT_EQ(summary(), "処理結果： 2 ファイル   30 バイト   処理時間 0 秒");
}

TEST_F(ImportOptionsTest, CompanionsAndTheTemplateFollowTheirBoxes) {
  openDialog();
  auto* stamp = control<QCheckBox>("chkStamp");
  auto* folders = control<QCheckBox>("chkFolders");
  stamp->setChecked(false);
  folders->setChecked(false);
  EXPECT_FALSE(control<QCheckBox>("chkGroups")->isEnabled());
  EXPECT_FALSE(control<QLineEdit>("txtFolders")->isEnabled());
  EXPECT_EQ(control<QLineEdit>("txtFolders")->text().toStdString(), "%Y/%m/%d");
  stamp->setChecked(true);
  folders->setChecked(true);
  EXPECT_TRUE(control<QCheckBox>("chkGroups")->isEnabled());
  EXPECT_TRUE(control<QLineEdit>("txtFolders")->isEnabled());
  control<QLineEdit>("txtFolders")->setText("%Y/..");
  EXPECT_EQ(control<QLabel>("lblFoldersExample")->text().toStdString(),
            "例：書式が正しくありません");
}

}  // namespace
}  // namespace msifter::ui::testing
