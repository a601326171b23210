// SPDX-License-Identifier: GPL-3.0-or-later
// The Execute command: the window's choreography around one run.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "common/failure.h"
#include "common/local_time.h"
#include "common/msg.h"
#include "engine/time_helpers.h"
#include "free_memory.h"
#include "media/capture_stamps.h"
#include "settings/settings_store.h"
#include "ui/frm_menu.h"
#include "ui/history_window.h"
#include "ui/run_view.h"

namespace msifter::ui {

namespace {

// How often the window thread looks after the window while a run works.
constexpr int kPaintIntervalMs = 100;

}  // namespace

// With skip-identical the files skipped are said, and the totals count what
// was transferred: a run that skipped everything moved nothing.
std::string FrmMenu::summaryOf(const options::RunOptions& options, const engine::RunResult& result,
                               int64_t seconds) const {
  if (!options.skipIdentical)
    return engine::formatSummary(result.runFileCount, result.runByteTotal, seconds);
  const RunView::Tally tally = runView_->tally();
  return engine::formatSummary(static_cast<int32_t>(tally.files), tally.bytes, seconds) +
         "   スキップ " + std::to_string(tally.skipped) + " ファイル";
}

void FrmMenu::cmdExecute_Click() {
  if (running_) return;
  common::guardFatal("cmdExecute_Click", [&] { executeCommand(); });
  if (history_ != nullptr && history_->isVisible()) history_->refresh();
}

// A capture time names nothing under serial numbers: said, not ignored.
bool FrmMenu::namingUsable(const options::RunOptions& options) {
  if (options.stamp != options::StampChoice::Capture ||
      options.renameMethod != options::RenameMethod::SerialNumber)
    return true;
  common::gDispMsg(msgcode::NotWithSerial, "撮影日時で名前を付ける設定（取り込みの設定）");
  return false;
}

void FrmMenu::executeCommand() {
  lastExecute_ = common::localDateTimeText();
  options::RunOptions options;
  if (!settings::gChkSettingData(*settingsView_, &options, beyondForm_)) return;
  if (!namingUsable(options)) return;
  media::CaptureStamps captureStamps(options);
  const engine::RunFunction run =
      run_ ? run_ : [&](const options::RunOptions& o, engine::RunObserver& observer) {
        return engine::runTransfer(o, observer, &captureStamps);
      };
  runView_->enterBusyState();
  engine::RunResult result;
  bool started = false;
  int64_t seconds = 0;
  runKeepingWindowPainted([&] {
    const common::ThreadHold holding(runStateOwner_);
    // The last run's list goes first, here: freeing a million paths on the
    // window thread would hold it up. Its memory goes back to the system.
    std::vector<std::string>().swap(lstResult_);
    returnFreeMemory();
    settings::gSetSettingData(options, lastExecute_);
    const int64_t start = engine::gGetTickCount();
    started = engine::gProcess1(options, *runView_, result, run);
    // A monotonic clock never runs back; the guard only keeps a bad reading
    // from showing a negative time.
    seconds = std::max<int64_t>(0, (engine::gGetTickCount() - start) / 1000);
    lstResult_ = std::move(result.lstResult);
  });
  if (started) runView_->showSummary(summaryOf(options, result, seconds));
  runView_->leaveBusyState();
}

void FrmMenu::runKeepingWindowPainted(const std::function<void()>& work) {
  // The run works on a worker thread so that the window keeps painting
  // through long transfers and pauses; the window is disabled meanwhile.
  running_ = true;
  struct Done {
    bool& running;
    ~Done() { running = false; }
  } done{running_};
  std::atomic<bool> finished{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  QTimer tick;
  connect(&tick, &QTimer::timeout, this, [this] { runView_->applyPendingProgress(); });
  tick.start(kPaintIntervalMs);
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace msifter::ui
