#pragma once
// frmMenu as the transfer run sees it. The run calls it from its worker
// thread; every call that touches a control is carried over to the window
// thread and waits for it, except the search's folder names, which are only
// noted for the window's next tick.
#include <mutex>
#include <string>

#include "engine/run.h"
#include "settings/settings_window.h"

class QString;
class QWidget;

namespace msifter::ui {

struct MenuControls;
class ResultListModel;

class RunView : public engine::ExecuteWindow, private engine::ProgressLabel {
 public:
  // `window` is the window the controls lie on; `options` reads them.
  RunView(QWidget& window, const MenuControls& controls, settings::SettingsWindow& options,
          ResultListModel& results);

  // engine::ExecuteWindow, from the worker thread.
  bool isChecked(settings::Check box) const override;
  std::string otherText() const override;
  bool checkSettings() override;
  void enterBusyState() override;
  void saveSettings() override;
  engine::TransferOptions takeSnapshot() override;
  engine::ProgressLabel* progressLabel() override { return this; }
  void showSummary(const std::string& summary) override;
  void leaveBusyState() override;

  // On the window thread, at its ticks: shows the newest folder the search
  // has entered.
  void applyPendingProgress();
  // True from the busy state until the idle state; window thread only.
  bool isBusy() const { return busy_; }

 private:
  // engine::ProgressLabel: the folder the search has entered.
  void setCaption(const std::string& caption) override;
  void setBusy(bool busy);
  void showProgress(const QString& text);

  QWidget& window_;
  const MenuControls& controls_;
  settings::SettingsWindow& options_;
  ResultListModel& results_;
  bool busy_ = false;

  // Only the newest folder name matters.
  std::mutex progressMutex_;
  std::string pendingProgress_;
  bool progressQueued_ = false;
};

}  // namespace msifter::ui
