#pragma once
// frmMenu: the program's only working window. It holds every option of a
// transfer run, shows the last run's list and summary, and is the window the
// settings store and the transfer run read and write.
#include <QMainWindow>
#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "engine/run.h"
#include "settings/settings_window.h"
#include "ui/forms.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace msifter::ui {

class ClickableLabel;
class ResultListModel;

class FrmMenu : public QMainWindow,
                public Form,
                public settings::SettingsWindow,
                public engine::ExecuteWindow,
                private engine::ProgressLabel {
 public:
  static constexpr const char* kCaption = "ファイル検索移動プログラム";

  FrmMenu();
  ~FrmMenu() override;

  QWidget& widget() override { return *this; }

  // Event handlers, named as the window's reports name them.
  void cmdExecute_Click();
  void cmdServerSelect_Click();
  void cmdReceiveSelect_Click();
  void imgServerDir_Click();
  void imgReceiveDir_Click();
  void targetType_Click();
  void mnuContents_Click();
  void mnuAbout_Click();

  // True from the press of Execute until the run has finished.
  bool isRunning() const { return running_; }

  // settings::SettingsWindow
  int value(settings::Check box) const override;
  void setValue(settings::Check box, int value) override;
  bool isEnabled(settings::Check box) const override;
  void setEnabled(settings::Check box, bool enabled) override;
  std::string text(settings::Text box) const override;
  void setText(settings::Text box, const std::string& text) override;
  bool isTextEnabled(settings::Text box) const override;
  void setTextEnabled(settings::Text box, bool enabled) override;
  void setTextBackground(settings::Text box, settings::Background colour) override;
  std::string caption(settings::FolderLabel label) const override;
  void setCaption(settings::FolderLabel label, const std::string& caption) override;
  bool isSelected(settings::Option option) const override;
  void select(settings::Option option) override;
  void setFocus(settings::Focus target) override;

  // engine::TargetTypeSource
  bool isChecked(settings::Check box) const override;
  std::string otherText() const override;

  // engine::ExecuteWindow; the run calls these from its own thread.
  bool checkSettings() override;
  void enterBusyState() override;
  void saveSettings() override;
  engine::TransferOptions takeSnapshot() override;
  engine::ProgressLabel* progressLabel() override { return this; }
  void showSummary(const std::string& summary) override;
  void leaveBusyState() override;

  using QMainWindow::isEnabled;
  using QMainWindow::setEnabled;
  using QMainWindow::setFocus;

 protected:
  void formLoad() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  void buildMenu();
  void setTabOrder();
  void chooseFolder(settings::FolderLabel label);
  void openFolder(settings::FolderLabel label, const char* subject, const char* procName);
  void runKeepingWindowPainted();
  void setCaption(const std::string& caption) override;  // engine::ProgressLabel
  void applyPendingProgress();
  QCheckBox* checkBox(settings::Check box) const;
  QLineEdit* textBox(settings::Text box) const;

  QToolButton* cmdExecute_ = nullptr;
  QToolButton* cmdEnd_ = nullptr;
  QPushButton* cmdServerSelect_ = nullptr;
  QPushButton* cmdReceiveSelect_ = nullptr;
  QLabel* lblServerDir_ = nullptr;
  QLabel* lblReceiveDir_ = nullptr;
  ClickableLabel* imgServerDir_ = nullptr;
  ClickableLabel* imgReceiveDir_ = nullptr;
  std::array<QCheckBox*, 16> checks_{};
  std::array<QLineEdit*, 4> texts_{};
  QRadioButton* optDateNum_ = nullptr;
  QRadioButton* optSerialNum_ = nullptr;
  QLabel* lblProgress_ = nullptr;
  QListView* lstResult_ = nullptr;
  ResultListModel* results_ = nullptr;
  QAction* mnuContents_ = nullptr;
  QAction* mnuAbout_ = nullptr;

  // The folder captions as raw bytes: a name that is not UTF-8 must reach
  // the run unchanged, whatever the label shows.
  std::string serverDir_;
  std::string receiveDir_;

  bool running_ = false;
  bool busy_ = false;

  // Folder names from the search, handed to the window thread at its ticks;
  // only the newest one matters.
  std::mutex progressMutex_;
  std::string pendingProgress_;
  bool progressQueued_ = false;
};

}  // namespace msifter::ui
