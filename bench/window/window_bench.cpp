// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the real main window through an Execute over a tree, as a person
// would press it, and reports what the person would notice:
//
//   window_bench SOURCE DESTINATION EMPTY_FOLDER
//
// A first run moves every file of SOURCE (and its subfolders) into
// DESTINATION; a second run over EMPTY_FOLDER clears the list again. Printed:
// the files listed, the peak resident set, the time from the summary to the
// painted list, the longest the window thread went without answering a
// timer, and the resident set after the second run.
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/msg.h"
#include "engine/run.h"
#include "settings/settings_store.h"
#include "settings/settings_window.h"
#include "ui/appearance.h"
#include "ui/frm_menu.h"
#include "ui/qt_ui_services.h"

namespace {

using Clock = std::chrono::steady_clock;
using msifter::settings::Check;
using msifter::settings::FolderLabel;

double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// "VmHWM" (peak) or "VmRSS" (now) of this process, in MB.
double residentMb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
  }
  return -1;
}

// The engine's run, timed: when it handed its result back to the window,
// on the run's thread, just before the window shows the summary.
class TimedRun {
 public:
  msifter::engine::RunResult run(const msifter::options::RunOptions& options,
                                 msifter::engine::RunObserver& observer) {
    msifter::engine::RunResult result = msifter::engine::runTransfer(options, observer);
    summaryTicks = Clock::now().time_since_epoch().count();
    return result;
  }

  bool summaryShown() const { return summaryTicks != 0; }
  Clock::time_point summaryAt() const { return Clock::time_point(Clock::duration(summaryTicks)); }

  std::atomic<Clock::rep> summaryTicks{0};
};

// The options saved as Execute saves them, timed.
double saveMs(msifter::ui::FrmMenu& window) {
  const auto options = msifter::settings::optionsFromWindow(window.settingsView());
  const auto start = Clock::now();
  msifter::settings::gSetSettingData(options, "2024/01/01 00:00:00");
  return msBetween(start, Clock::now());
}

// Notes when the list is next painted after the run's summary: the note is
// taken once the paint and everything queued behind it are done.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(const TimedRun& run) : run_(run) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && run_.summaryShown() && !armed_) {
      armed_ = true;
      QTimer::singleShot(0, this, [this] { paintedAt = Clock::now(); });
    }
    return QObject::eventFilter(watched, event);
  }

  Clock::time_point paintedAt{};

 private:
  const TimedRun& run_;
  bool armed_ = false;
};

// The longest time between two turns of the window thread's event loop, as
// a 10 ms timer on that thread sees it.
class Heartbeat : public QObject {
 public:
  Heartbeat() {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
      const auto now = Clock::now();
      const double gap = msBetween(last_, now);
      longestMs = std::max(longestMs, gap);
      if (gap >= kNotedGapMs) notedGaps.push_back({msBetween(started_, now) / 1000.0, gap});
      last_ = now;
    });
  }
  void start() {
    started_ = last_ = Clock::now();
    timer_.start(kIntervalMs);
  }
  void stop() { timer_.stop(); }

  static constexpr int kIntervalMs = 10;
  static constexpr double kNotedGapMs = 20;
  double longestMs = 0;
  struct Gap {
    double endedS;  // after the start
    double ms;
  };
  std::vector<Gap> notedGaps;

 private:
  QTimer timer_;
  Clock::time_point started_{};
  Clock::time_point last_{};
};

void prepare(msifter::ui::FrmMenu& window, const std::string& source,
             const std::string& destination) {
  msifter::settings::SettingsWindow& options = window.settingsView();
  options.setCaption(FolderLabel::ServerDir, source);
  options.setCaption(FolderLabel::ReceiveDir, destination);
  for (const Check box : {Check::SubFolder, Check::AllFile}) options.setValue(box, 1);
  for (const Check box : {Check::LimitCount, Check::LimitMinSize, Check::LimitMaxSize,
                          Check::Slowly, Check::Copy, Check::ExtFix}) {
    options.setValue(box, 0);
  }
  window.targetType_Click();
  options.select(msifter::settings::RenameMethod::SerialNumber);
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// What one measured run gave.
struct Figures {
  long listed = 0;
  double runSeconds = 0, summaryToPaintMs = 0, summaryToRangeMs = 0, saveMs = 0;
  double startMb = 0, peakMb = 0, afterClearMb = 0;
};

void printFigures(const Figures& f, const Heartbeat& heartbeat) {
  std::printf("files listed:              %ld\n", f.listed);
  std::printf("run, press to summary:     %.1f s\n", f.runSeconds);
  std::printf("summary to painted list:   %.1f ms (target < 100)\n", f.summaryToPaintMs);
  std::printf("summary to full scroll range: %.1f ms\n", f.summaryToRangeMs);
  std::printf("longest unanswered:        %.1f ms (target < 100; timer every %d ms)\n",
              heartbeat.longestMs, Heartbeat::kIntervalMs);
  // The three longest, where they fell in the run.
  std::vector<Heartbeat::Gap> gaps = heartbeat.notedGaps;
  std::sort(gaps.begin(), gaps.end(), [](const auto& a, const auto& b) { return a.ms > b.ms; });
  gaps.resize(std::min<std::size_t>(gaps.size(), 3));
  for (const Heartbeat::Gap& gap : gaps) {
    std::printf("  %.0f ms unanswered, ending %.2f s after the press\n", gap.ms, gap.endedS);
  }
  std::printf("options saved in:          %.1f ms\n", f.saveMs);
  std::printf("resident at start:         %.0f MB\n", f.startMb);
  std::printf("peak resident:             %.0f MB (target < 250)\n", f.peakMb);
  std::printf("resident after next run:   %.0f MB\n", f.afterClearMb);
}

bool openCatalogue() {
  if (msifter::common::gMsgInit(MSIFTER_APP_DIR "/sys/msg", msifter::common::kMsgPassword))
    return true;
  std::fprintf(stderr, "no message catalogue under %s\n", MSIFTER_APP_DIR);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SOURCE DESTINATION EMPTY_FOLDER\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  msifter::ui::installFontSubstitutions();
  msifter::ui::QtUiServices services;
  msifter::common::gblnNoErrDialog = true;
  if (!openCatalogue()) return 1;

  TimedRun timed;
  msifter::ui::FrmMenu window(
      [&timed](const msifter::options::RunOptions& options,
               msifter::engine::RunObserver& observer) { return timed.run(options, observer); });
  window.load();
  window.show();
  if (!waitFor(
          [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); },
          5000)) {
    std::fprintf(stderr, "the window was never shown\n");
    return 1;
  }
  auto* list = window.findChild<QAbstractItemView*>("lstResult");
  PaintWatch paints(timed);
  list->viewport()->installEventFilter(&paints);
  Figures figures;
  figures.startMb = residentMb("VmRSS");

  prepare(window, argv[1], argv[2]);
  Heartbeat heartbeat;
  heartbeat.start();
  Clock::time_point lastRangeChange = Clock::now();
  QObject::connect(list->verticalScrollBar(), &QScrollBar::rangeChanged,
                   [&] { lastRangeChange = Clock::now(); });
  const auto pressed = Clock::now();
  window.cmdExecute_Click();
  const bool painted = waitFor([&] { return paints.paintedAt != Clock::time_point{}; }, 10000);
  // The list may take its full length after its first rows are painted.
  waitFor([&] { return msBetween(lastRangeChange, Clock::now()) > 500; }, 10000);
  heartbeat.stop();
  if (!painted) {
    std::fprintf(stderr, "the list was never painted after the summary\n");
    return 1;
  }
  figures.listed = list->model()->rowCount();
  figures.peakMb = residentMb("VmHWM");
  figures.runSeconds = msBetween(pressed, timed.summaryAt()) / 1000.0;
  figures.summaryToPaintMs = msBetween(timed.summaryAt(), paints.paintedAt);
  figures.saveMs = saveMs(window);
  figures.summaryToRangeMs = std::max(0.0, msBetween(timed.summaryAt(), lastRangeChange));

  // The next run clears the list; what the first one held should go back.
  prepare(window, argv[3], argv[2]);
  window.cmdExecute_Click();
  figures.afterClearMb = residentMb("VmRSS");

  printFigures(figures, heartbeat);
  return 0;
}
