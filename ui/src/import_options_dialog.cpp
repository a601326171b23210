// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/import_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "options/folder_template.h"
#include "options/option_table.h"
#include "settings/settings_store.h"
#include "ui/appearance.h"
#include "ui/shell.h"

namespace msifter::ui {

namespace {

using options::RunOptions;
using options::StampChoice;

constexpr const char* kDefaultTemplate = "%Y/%m/%d";
constexpr int kIndent = 24;

QString u(const char* text) { return QString::fromUtf8(text); }

template <class W, class... Text>
W* named(QWidget* parent, const char* name, Text... text) {
  W* widget = child<W>(parent, u(text)...);
  widget->setObjectName(u(name));
  return widget;
}

// The moment the example path shows: fixed, so that the example reads the
// same whenever the dialog is opened.
std::tm exampleMoment() {
  std::tm moment{};
  moment.tm_year = 2024 - 1900;
  moment.tm_mon = 4;
  moment.tm_mday = 1;
  moment.tm_hour = 9;
  moment.tm_min = 6;
  moment.tm_sec = 37;
  return moment;
}

}  // namespace

bool anyImportOptionOn(const RunOptions& options) {
  const RunOptions off;
  return options.stamp != off.stamp || options.skipIdentical != off.skipIdentical ||
         options.folders != off.folders || options.backupDir != off.backupDir;
}

ImportOptionsDialog::ImportOptionsDialog(const RunOptions& shown, std::string destination,
                                         QWidget* owner)
    : QDialog(owner), kept_(shown), destination_(std::move(destination)) {
  setUpDialogWindow(*this, "frmImportOptions", kCaption);
  setupControls();
  setupButtons();
  showOptions(shown);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void ImportOptionsDialog::setupControls() {
  auto* grid = child<QGridLayout>(this);
  grid->setColumnMinimumWidth(0, kIndent);
  chkStamp_ = named<QCheckBox>(this, "chkStamp", "撮影日時で名前を付ける(&C)");
  chkStamp_->setToolTip(u("名前の頭を、移動した日時ではなく写真や動画を撮影した日時にします。"));
  chkGroups_ = named<QCheckBox>(
      this, "chkGroups", "同じ名前の写真と関連ファイル（RAW、JPEG、XMP など）をまとめる(&G)");
  auto* lblTimeShift = named<QLabel>(this, "lblTimeShift", "撮影日時の補正(&T)：");
  txtTimeShift_ = named<QLineEdit>(this, "txtTimeShift");
  lblTimeShift->setBuddy(txtTimeShift_);
  txtTimeShift_->setPlaceholderText(u("+0:00"));
  txtTimeShift_->setToolTip(
      u("カメラの時計のずれを直します。+1:00 で 1 時間後、-0:30 で 30 分前の日時にします。"));
  chkVideoLocal_ = named<QCheckBox>(this, "chkVideoLocal",
                                    "動画のヘッダの日時をカメラの時計（UTC でない）として読む(&V)");
  chkFolders_ = named<QCheckBox>(this, "chkFolders", "日付ごとのフォルダに分ける(&F)");
  auto* lblFolders = named<QLabel>(this, "lblFolders", "書式(&M)：");
  txtFolders_ = named<QLineEdit>(this, "txtFolders");
  lblFolders->setBuddy(txtFolders_);
  txtFolders_->setToolTip(
      u("%Y 年、%m 月、%d 日、%H 時、%M 分、%S 秒。/ でフォルダを区切ります。"));
  lblExample_ = named<QLabel>(this, "lblFoldersExample");
  lblExample_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  chkSkipIdentical_ = named<QCheckBox>(
      this, "chkSkipIdentical", "同じ内容のファイルが移動先にあれば、移動もコピーもしない(&S)");
  chkBackup_ = named<QCheckBox>(this, "chkBackup", "バックアップ先にもコピーする(&B)");
  txtBackupDir_ = named<QLineEdit>(this, "txtBackupDir");
  txtBackupDir_->setReadOnly(true);
  txtBackupDir_->setMinimumWidth(320);
  cmdBackupSelect_ = named<QPushButton>(this, "cmdBackupSelect", "参照(&R)...");
  int row = 0;
  grid->addWidget(chkStamp_, row++, 0, 1, 3);
  grid->addWidget(chkGroups_, row++, 1, 1, 2);
  grid->addWidget(lblTimeShift, row, 1);
  grid->addWidget(txtTimeShift_, row++, 2);
  grid->addWidget(chkVideoLocal_, row++, 1, 1, 2);
  grid->addWidget(chkFolders_, row++, 0, 1, 3);
  grid->addWidget(lblFolders, row, 1);
  grid->addWidget(txtFolders_, row++, 2);
  grid->addWidget(lblExample_, row++, 1, 1, 2);
  grid->addWidget(chkSkipIdentical_, row++, 0, 1, 3);
  grid->addWidget(chkBackup_, row++, 0, 1, 3);
  auto backupRow = std::make_unique<QHBoxLayout>();
  backupRow->addWidget(txtBackupDir_, 1);
  backupRow->addWidget(cmdBackupSelect_);
  grid->addLayout(backupRow.release(), row++, 1, 1, 2);
  for (QCheckBox* box : {chkStamp_, chkFolders_, chkBackup_})
    connect(box, &QCheckBox::toggled, this, [this] { updateEnabled(); });
  connect(txtFolders_, &QLineEdit::textChanged, this, [this] { updateExample(); });
  connect(cmdBackupSelect_, &QPushButton::clicked, this, [this] { chooseBackupFolder(); });
}

void ImportOptionsDialog::setupButtons() {
  auto* buttons = named<QDialogButtonBox>(this, "buttons");
  QPushButton* ok = buttons->addButton(u("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton(u("キャンセル"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
  auto* grid = static_cast<QGridLayout*>(layout());
  grid->addWidget(buttons, grid->rowCount(), 0, 1, 3);
  setTabOrder(chkStamp_, chkGroups_);
  setTabOrder(chkGroups_, txtTimeShift_);
  setTabOrder(txtTimeShift_, chkVideoLocal_);
  setTabOrder(chkVideoLocal_, chkFolders_);
  setTabOrder(chkFolders_, txtFolders_);
  setTabOrder(txtFolders_, chkSkipIdentical_);
  setTabOrder(chkSkipIdentical_, chkBackup_);
  setTabOrder(chkBackup_, cmdBackupSelect_);
  setTabOrder(cmdBackupSelect_, ok);
  setTabOrder(ok, cancel);
  // The path is shown, not typed: the folder comes from 参照.
  txtBackupDir_->setFocusPolicy(Qt::NoFocus);
  chkStamp_->setFocus();
}

void ImportOptionsDialog::showOptions(const RunOptions& shown) {
  chkStamp_->setChecked(shown.stamp == StampChoice::Capture);
  chkGroups_->setChecked(shown.groups);
  txtTimeShift_->setText(shown.timeShift.seconds == 0
                             ? QString()
                             : u(options::timeShiftText(shown.timeShift).c_str()));
  chkVideoLocal_->setChecked(shown.videoTime == options::VideoTime::Local);
  chkFolders_->setChecked(!shown.folders.empty());
  txtFolders_->setText(u(shown.folders.empty() ? kDefaultTemplate : shown.folders.c_str()));
  chkSkipIdentical_->setChecked(shown.skipIdentical);
  chkBackup_->setChecked(!shown.backupDir.empty());
  setBackupFolder(shown.backupDir);
  updateEnabled();
  updateExample();
}

void ImportOptionsDialog::updateEnabled() {
  // Companions share a name only when the name comes from the photo.
  chkGroups_->setEnabled(chkStamp_->isChecked());
  txtTimeShift_->setEnabled(chkStamp_->isChecked());
  chkVideoLocal_->setEnabled(chkStamp_->isChecked());
  txtFolders_->setEnabled(chkFolders_->isChecked());
  txtBackupDir_->setEnabled(chkBackup_->isChecked());
  cmdBackupSelect_->setEnabled(chkBackup_->isChecked());
  updateExample();
}

void ImportOptionsDialog::updateExample() {
  std::string folder = destination_.empty() ? "（移動先）" : destination_;
  folder = common::gAddBackslash(folder);
  const std::string text = pathBytes(txtFolders_->text());
  if (!chkFolders_->isChecked()) {
    lblExample_->setText(u("例：") + displayPath(folder) + u("（フォルダに分けません）"));
  } else if (!options::folderTemplateValid(text)) {
    lblExample_->setText(u("例：書式が正しくありません"));
  } else {
    lblExample_->setText(
        u("例：") +
        displayPath(folder + options::expandFolderTemplate(text, exampleMoment()) + "/") +
        u("（2024/05/01 09:06:37 の写真）"));
  }
}

// An empty box is no correction; other text is one only as the command
// line's --time-shift takes it.
std::optional<options::TimeShift> ImportOptionsDialog::timeShiftTyped() const {
  const std::string text = txtTimeShift_->text().trimmed().toStdString();
  if (text.empty()) return options::TimeShift{};
  return options::parseTimeShift(text);
}

void ImportOptionsDialog::chooseBackupFolder() {
  const std::string path = gShowSelectDirDlg(this);
  if (!path.empty()) setBackupFolder(path);
}

void ImportOptionsDialog::setBackupFolder(const std::string& folder) {
  backupDir_ = folder;
  txtBackupDir_->setText(displayPath(folder));
}

RunOptions ImportOptionsDialog::options(const RunOptions& base) const {
  RunOptions o = base;
  o.stamp = chkStamp_->isChecked() ? StampChoice::Capture : StampChoice::Transfer;
  o.groups = chkGroups_->isChecked();
  // A correction belongs to capture times: off with them. Text that is no
  // correction stays in the box for the check to name.
  const bool capture = o.stamp == StampChoice::Capture;
  const std::optional<options::TimeShift> shift = timeShiftTyped();
  o.timeShift = capture && shift ? *shift : options::TimeShift{};
  o.videoTime =
      capture && chkVideoLocal_->isChecked() ? options::VideoTime::Local : options::VideoTime::Utc;
  o.folders = chkFolders_->isChecked() ? pathBytes(txtFolders_->text()) : std::string();
  o.skipIdentical = chkSkipIdentical_->isChecked();
  o.backupDir = chkBackup_->isChecked() ? backupDir_ : std::string();
  return o;
}

// The table's checks of the dialog's rows, as the main form tells its own;
// what a run cannot do yet is the run's to refuse, so that the dialog can
// keep it meanwhile.
bool ImportOptionsDialog::checked(const RunOptions& candidate) {
  if (chkBackup_->isChecked()) {
    if (candidate.backupDir.empty()) {
      cmdBackupSelect_->setFocus();
      common::gDispMsg(msgcode::PleaseChoose, "バックアップ先のフォルダを");
      return false;
    }
    if (!common::gChkDirExists(candidate.backupDir, false)) {
      common::gDispMsg(msgcode::DoesNotExist, "バックアップ先のフォルダが");
      cmdBackupSelect_->setFocus();
      return false;
    }
  }
  if (chkStamp_->isChecked() && !timeShiftTyped()) {
    common::gDispMsg(msgcode::WrittenWrong, "撮影日時の補正（+1:00 や -0:30:15 のように書きます）");
    txtTimeShift_->setFocus();
    return false;
  }
  // Ticked with no text is written wrong too, not off.
  if (chkFolders_->isChecked()) {
    if (const auto problem = options::folderTemplateRefusal(candidate.folders)) {
      common::gDispMsg(problem->code, problem->callerText);
      txtFolders_->setFocus();
      return false;
    }
  }
  for (const std::string_view name : kRows) {
    const options::OptionRow& row = *options::optionRow(name);
    if (row.check == nullptr) continue;
    for (const auto stage : {options::CheckStage::FileTypes, options::CheckStage::SizeLimits,
                             options::CheckStage::Naming}) {
      const auto problem = row.check(candidate, stage);
      if (!problem || problem->code == msgcode::NotYetUsable) continue;
      common::gDispMsg(problem->code, problem->callerText);
      return false;
    }
  }
  return true;
}

void ImportOptionsDialog::accept() {
  const bool done = common::guardFatal("frmImportOptions_cmdOK_Click", [&] {
    const RunOptions candidate = options(kept_);
    if (!checked(candidate)) return false;
    settings::setStoredOptions(candidate, kRows);
    kept_ = candidate;
    return true;
  });
  if (done) QDialog::accept();
}

}  // namespace msifter::ui
