#pragma once
// frmMenu: the program's only working window. It holds every option of a
// transfer run and shows the last run's list and summary. The settings store
// reads and fills its controls through settingsView(); the run, which works
// on a thread of its own, sees it through runView().
#include <QMainWindow>
#include <functional>
#include <memory>

#include "engine/run.h"
#include "settings/settings_window.h"
#include "ui/forms.h"

namespace msifter::ui {

struct MenuControls;
class HistoryWindow;
class ResultListModel;
class RunView;

class FrmMenu : public QMainWindow, public Form {
 public:
  static constexpr const char* kCaption = "ファイル検索移動プログラム";

  // What Execute runs on its worker thread; the program runs the engine's
  // command, the window benchmark one that times it.
  using RunCommand = std::function<void(engine::ExecuteWindow&)>;

  explicit FrmMenu(RunCommand run = engine::executeCommand);
  ~FrmMenu() override;

  QWidget& widget() override { return *this; }

  // The controls as the settings store reads and fills them; window thread.
  settings::SettingsWindow& settingsView();
  // The window as the run sees it; its calls come from the run's thread.
  engine::ExecuteWindow& runView();

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

  // The history window once 実行履歴 has opened it, else nullptr.
  HistoryWindow* historyWindow() const { return history_; }

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
  void runKeepingWindowPainted();

  RunCommand run_;
  std::unique_ptr<MenuControls> controls_;
  ResultListModel* results_ = nullptr;  // owned by the window
  std::unique_ptr<settings::SettingsWindow> settingsView_;
  std::unique_ptr<RunView> runView_;
  HistoryWindow* history_ = nullptr;  // owned by the window
  bool running_ = false;
};

}  // namespace msifter::ui
