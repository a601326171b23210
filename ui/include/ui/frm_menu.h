// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// frmMenu: the program's only working window. It holds every option of a
// transfer run and shows the last run's list and summary. The settings store
// reads and fills its controls through settingsView(); Execute checks and
// saves the options, runs them on a thread of its own and shows the result.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/thread_owner.h"
#include "engine/run.h"
#include "options/run_options.h"
#include "settings/settings_window.h"
#include "ui/forms.h"
#include "ui/import_options_dialog.h"

namespace msifter::ui {

struct MenuControls;
class HistoryWindow;
class ResultListModel;
class RunView;

class FrmMenu : public QMainWindow, public Form {
 public:
  static constexpr const char* kCaption = "ファイル検索移動プログラム";

  // What Execute runs on its worker thread once the options are checked and
  // saved: empty for the engine's run; the window benchmark gives one that
  // times it.
  using RunCommand = engine::RunFunction;

  explicit FrmMenu(RunCommand run = {});
  ~FrmMenu() override;

  QWidget& widget() override { return *this; }

  // The controls as the settings store reads and fills them; window thread.
  settings::SettingsWindow& settingsView();
  // The busy state, the progress and the summary; window thread.
  RunView& runView();
  // The found paths of the last run, which the list shows (lstResult). A run
  // holds them from its thread: debug builds stop another thread that
  // touches them meanwhile.
  std::vector<std::string>& lstResult();
  // When the last Execute started, as it was saved ("YYYY/MM/DD HH:NN:SS").
  const std::string& lastExecute() const { return lastExecute_; }

  // Event handlers, named as the window's reports name them.
  void cmdExecute_Click();
  void cmdServerSelect_Click();
  void cmdReceiveSelect_Click();
  void imgServerDir_Click();
  void imgReceiveDir_Click();
  void targetType_Click();
  void mnuContents_Click();
  void mnuAbout_Click();
  void mnuHistory_Click();
  void mnuImportOptions_Click();

  // The history window once 実行履歴 has opened it, else nullptr.
  HistoryWindow* historyWindow() const { return history_; }

  // The import dialog while it is open, else nullptr.
  ImportOptionsDialog* importOptionsDialog() const { return importOptions_; }
  // The saved options the form has no control for (the import options
  // among them), which its runs take and save as they are.
  const options::RunOptions& optionsBeyondForm() const { return beyondForm_; }

  // True from the press of Execute until the run has finished.
  bool isRunning() const { return running_; }

 protected:
  void formLoad() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void setupMainMenu();
  void setupControls();
  void setupResultList();
  void connectHandlers();
  void chooseFolder(settings::FolderLabel label);
  void openFolder(settings::FolderLabel label, const char* subject, const char* procName);
  void executeCommand();
  void runKeepingWindowPainted(const std::function<void()>& work);
  bool namingUsable(const options::RunOptions& options);
  std::string summaryOf(const options::RunOptions& options, const engine::RunResult& result,
                        int64_t seconds) const;
  void showImportState();

  RunCommand run_;
  std::vector<std::string> lstResult_;
  std::string lastExecute_;
  common::ThreadOwner runStateOwner_{"the run state"};
  std::unique_ptr<MenuControls> controls_;
  ResultListModel* results_ = nullptr;  // owned by the window
  std::unique_ptr<settings::SettingsWindow> settingsView_;
  std::unique_ptr<RunView> runView_;
  HistoryWindow* history_ = nullptr;  // owned by the window
  // Owned by the window; empty again once the dialog is gone (also while
  // the window itself is being destroyed, when no slot of it may run).
  QPointer<ImportOptionsDialog> importOptions_;
  options::RunOptions beyondForm_;
  QString plainTitle_;
  bool running_ = false;
};

}  // namespace msifter::ui
