// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// 取り込みの設定: the options of a run that the main form has no control for
// (names by capture time and their correction, folders by date, companions together, skipping
// what the destination holds, a backup folder). OK checks them with the
// option table's checks and keeps them in the settings store; the main
// window's runs then take them.
#include <QDialog>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "options/run_options.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace msifter::ui {

class ImportOptionsDialog : public QDialog {
 public:
  static constexpr const char* kCaption = "取り込みの設定";
  // The rows of the option table the dialog shows and stores.
  static constexpr std::array<std::string_view, 7> kRows = {
      "stamp", "groups", "timeShift", "videoTime", "folders", "skipIdentical", "backupDir"};

  // Shows `shown`'s import options; `destination` is the main form's, for
  // the example path.
  ImportOptionsDialog(const options::RunOptions& shown, std::string destination,
                      QWidget* owner = nullptr);

  // What the controls say now: `base` with the dialog's rows replaced.
  options::RunOptions options(const options::RunOptions& base) const;
  // The options OK kept; the ones shown until then.
  const options::RunOptions& kept() const { return kept_; }

  // The folder 参照 chose, as the file system names it.
  void setBackupFolder(const std::string& folder);

  // OK: checks, stores and closes; on a problem its message, and the dialog
  // stays open with the focus where the problem is.
  void accept() override;

 private:
  void setupControls();
  void setupButtons();
  void showOptions(const options::RunOptions& shown);
  void updateEnabled();
  void updateExample();
  void chooseBackupFolder();
  bool checked(const options::RunOptions& candidate);
  std::optional<options::TimeShift> timeShiftTyped() const;

  options::RunOptions kept_;
  std::string destination_;
  std::string backupDir_;
  QCheckBox* chkStamp_ = nullptr;
  QCheckBox* chkGroups_ = nullptr;
  QLineEdit* txtTimeShift_ = nullptr;
  QCheckBox* chkVideoLocal_ = nullptr;
  QCheckBox* chkFolders_ = nullptr;
  QLineEdit* txtFolders_ = nullptr;
  QLabel* lblExample_ = nullptr;
  QCheckBox* chkSkipIdentical_ = nullptr;
  QCheckBox* chkBackup_ = nullptr;
  QLineEdit* txtBackupDir_ = nullptr;
  QPushButton* cmdBackupSelect_ = nullptr;
};

// True while any import option would change what a run does: the main
// window then says so in its title.
bool anyImportOptionOn(const options::RunOptions& options);

}  // namespace msifter::ui
