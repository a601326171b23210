// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// frmMenu as a run shows on it: the busy state, the folder the search is in
// and the summary. Only the folders come from the run's thread, noted for
// the window's next tick so that the search is never held up; the rest is
// called on the window thread.
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/run.h"

class QString;
class QWidget;

namespace msifter::ui {

struct MenuControls;
class ResultListModel;

class RunView final : public engine::RunObserver {
 public:
  // `window` is the window the controls lie on.
  RunView(QWidget& window, const MenuControls& controls, ResultListModel& results);

  // Hourglass, list hidden, window disabled, both buttons hidden.
  void enterBusyState();
  void leaveBusyState();
  void showSummary(const std::string& summary);
  // At the window's ticks: shows the newest folder the search has entered.
  void applyPendingProgress();
  // True from the busy state until the idle state.
  bool isBusy() const { return busy_; }

  // What the last run transferred and skipped; read once it is over.
  struct Tally {
    int64_t files = 0;
    int64_t bytes = 0;
    int64_t skipped = 0;
  };
  Tally tally() const { return tally_; }

  // engine::RunObserver: the folder the search has entered, the files
  // transferred and skipped.
  void folderEntered(const std::string& folder) override;
  void fileTransferred(const engine::TransferredFile& file) override;
  void fileSkipped(const std::string& source, const std::string& identical) override;

 private:
  void setBusy(bool busy);
  void showProgress(const QString& text);

  QWidget& window_;
  const MenuControls& controls_;
  ResultListModel& results_;
  bool busy_ = false;
  // Counted on the run's thread; the window reads it after the run's end.
  Tally tally_;

  // Only the newest folder name matters.
  std::mutex progressMutex_;
  std::string pendingProgress_;
  bool progressQueued_ = false;
};

}  // namespace msifter::ui
