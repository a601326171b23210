#include "run_view.h"

#include <QLabel>
#include <QListView>
#include <QThread>
#include <QToolButton>
#include <vector>

#include "common/text.h"
#include "common/ui_services.h"
#include "free_memory.h"
#include "gui_thread.h"
#include "menu_controls.h"
#include "settings/settings_store.h"
#include "settings/window_values.h"
#include "ui/appearance.h"
#include "ui/result_list_model.h"

namespace msifter::ui {

using settings::Check;
using settings::Text;

namespace {

// The last run's list goes before the next run fills it again, and the
// memory it held goes back to the system instead of staying with the process.
void releaseFoundPaths() {
  std::vector<std::string>().swap(engine::runState().lstResult);
  returnFreeMemory();
}

}  // namespace

RunView::RunView(QWidget& window, const MenuControls& controls, settings::SettingsWindow& options,
                 ResultListModel& results)
    : window_(window), controls_(controls), options_(options), results_(results) {}

bool RunView::isChecked(Check box) const {
  return onGuiThread(&window_, [&] { return options_.value(box) != 0; });
}

std::string RunView::otherText() const {
  return onGuiThread(&window_, [this] { return options_.text(Text::Other); });
}

bool RunView::checkSettings() {
  return onGuiThread(&window_, [this] { return settings::gChkSettingData(options_); });
}

void RunView::enterBusyState() {
  onGuiThread(&window_, [this] { setBusy(true); });
  // Still on the worker: freeing a million paths would hold the window up.
  releaseFoundPaths();
}

void RunView::leaveBusyState() {
  onGuiThread(&window_, [this] { setBusy(false); });
}

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

void RunView::saveSettings() {
  // The controls are read on the window thread and written from the worker,
  // so that a slow disk does not hold the window up.
  settings::WindowValues options =
      onGuiThread(&window_, [this] { return settings::WindowValues(options_); });
  settings::gSetSettingData(options, engine::runState().lastExecute);
}

engine::TransferOptions RunView::takeSnapshot() {
  return onGuiThread(&window_, [this] {
    const auto on = [this](Check box) { return options_.value(box) != 0; };
    engine::TransferOptions options;
    options.serverDir = options_.caption(settings::FolderLabel::ServerDir);
    options.receiveDir = options_.caption(settings::FolderLabel::ReceiveDir);
    options.subFolder = on(Check::SubFolder);
    options.useMinSize = on(Check::LimitMinSize);
    options.minSizeBytes = engine::kbTextToBytes(options_.text(Text::LimitMinSize));
    options.useMaxSize = on(Check::LimitMaxSize);
    options.maxSizeBytes = engine::kbTextToBytes(options_.text(Text::LimitMaxSize));
    options.useCountLimit = on(Check::LimitCount);
    options.countLimit = common::wholeNumberText(options_.text(Text::LimitCount));
    options.copyFiles = on(Check::Copy);
    options.renameMethod = options_.isSelected(settings::Option::SerialNum)
                               ? engine::RenameMethod::SerialNumber
                               : engine::RenameMethod::DateTime;
    options.extFix = on(Check::ExtFix);
    options.slowly = on(Check::Slowly);
    return options;
  });
}

void RunView::setCaption(const std::string& caption) {
  if (QThread::currentThread() == window_.thread()) {
    showProgress(displayPath(caption));
    return;
  }
  // The search names every folder it enters, hundreds a second; the window
  // shows the newest one at its next tick, without holding the search up.
  std::lock_guard lock(progressMutex_);
  pendingProgress_ = caption;
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
  onGuiThread(&window_, [&] {
    {
      std::lock_guard lock(progressMutex_);
      pendingProgress_.clear();
      progressQueued_ = false;
    }
    showProgress(QString::fromStdString(summary));
  });
}

void RunView::showProgress(const QString& text) {
  controls_.lblProgress->setText(text);
  controls_.lblProgress->adjustSize();
}

}  // namespace msifter::ui
