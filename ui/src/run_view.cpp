// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/run_view.h"

#include <QLabel>
#include <QListView>
#include <QThread>
#include <QToolButton>

#include "common/ui_services.h"
#include "menu_controls.h"
#include "ui/appearance.h"
#include "ui/result_list_model.h"

namespace msifter::ui {

RunView::RunView(QWidget& window, const MenuControls& controls, ResultListModel& results)
    : window_(window), controls_(controls), results_(results) {}

void RunView::enterBusyState() {
  tally_ = {};
  setBusy(true);
}

void RunView::fileTransferred(const engine::TransferredFile& file) {
  ++tally_.files;
  tally_.bytes += file.size;
}

void RunView::fileSkipped(const std::string&, const std::string&) { ++tally_.skipped; }

void RunView::leaveBusyState() { setBusy(false); }

void RunView::setBusy(bool busy) {
  common::ui().setBusyCursor(busy);
  if (busy) {
    controls_.lstResult->hide();
    // From here on the run clears and fills the list the rows are read from.
    results_.hidePaths();
  } else {
    results_.showPaths();
    controls_.lstResult->show();
  }
  window_.setEnabled(!busy);
  controls_.cmdExecute->setVisible(!busy);
  controls_.cmdEnd->setVisible(!busy);
  busy_ = busy;
}

void RunView::folderEntered(const std::string& folder) {
  if (QThread::currentThread() == window_.thread()) {
    showProgress(displayPath(folder));
    return;
  }
  // The search names every folder it enters, hundreds a second; the window
  // shows the newest one at its next tick, without holding the search up.
  std::lock_guard lock(progressMutex_);
  pendingProgress_ = folder;
  progressQueued_ = true;
}

void RunView::applyPendingProgress() {
  std::string caption;
  {
    std::lock_guard lock(progressMutex_);
    if (!progressQueued_) return;  // already shown, or replaced by the summary
    caption.swap(pendingProgress_);
    progressQueued_ = false;
  }
  showProgress(displayPath(caption));
}

void RunView::showSummary(const std::string& summary) {
  {
    std::lock_guard lock(progressMutex_);
    pendingProgress_.clear();
    progressQueued_ = false;
  }
  showProgress(QString::fromStdString(summary));
}

void RunView::showProgress(const QString& text) {
  controls_.lblProgress->setText(text);
  controls_.lblProgress->adjustSize();
}

}  // namespace msifter::ui
