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
#include "engine/time_helpers.h"
#include "free_memory.h"
#include "settings/settings_store.h"
#include "ui/frm_menu.h"
#include "ui/history_window.h"
#include "ui/run_view.h"

namespace msifter::ui {

namespace {

// How often the window thread looks after the window while a run works.
constexpr int kPaintIntervalMs = 100;

}  // namespace

void FrmMenu::cmdExecute_Click() {
  if (running_) return;
  common::guardFatal("cmdExecute_Click", [&] { executeCommand(); });
  if (history_ != nullptr && history_->isVisible()) history_->refresh();
}

void FrmMenu::executeCommand() {
  lastExecute_ = common::localDateTimeText();
  options::RunOptions options;
  if (!settings::gChkSettingData(*settingsView_, &options)) return;
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
    started = engine::gProcess1(options, *runView_, result, run_);
    // A monotonic clock never runs back; the guard only keeps a bad reading
    // from showing a negative time.
    seconds = std::max<int64_t>(0, (engine::gGetTickCount() - start) / 1000);
    lstResult_ = std::move(result.lstResult);
  });
  if (started) {
    runView_->showSummary(engine::formatSummary(result.runFileCount, result.runByteTotal, seconds));
  }
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
