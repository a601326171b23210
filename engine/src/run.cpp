#include "engine/run.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "common/failure.h"
#include "common/local_time.h"
#include "common/msg.h"
#include "common/text.h"
#include "common/thread_owner.h"
#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/time_helpers.h"

namespace msifter::engine {

namespace {

// The byte total as the summary writes it: a plain whole number, from 10^15
// on the exponent form with 15 significant digits ("1.23456789012346E+15").
std::string byteTotalText(int64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (std::fabs(value) < 1e15) return std::to_string(bytes);
  char text[64];
  std::snprintf(text, sizeof text, "%.14E", value);
  std::string s = text;
  const auto e = s.find('E');
  std::string mantissa = s.substr(0, e);
  if (mantissa.find('.') != std::string::npos) {
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  // "E+15", never "E+015"; three digits only when needed.
  std::string exponent = s.substr(e + 2);
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 2));
  return mantissa + "E" + s[e + 1] + exponent;
}

// No file is transferred without its record: a run whose journal cannot be
// made, or whose source another run is working on, does not start. The
// user is told in the catalogue's words.
bool startJournal(RunJournal& journal, const TransferOptions& options) {
  const int error = journal.begin(options);
  if (error == 0) return true;
  if (error == EBUSY) {
    common::gDispMsg(msgcode::SourceBusy, "移動元のフォルダ（" + options.serverDir + "）");
  } else {
    common::gDispMsg(msgcode::CannotCreate, "実行の記録（" + journalFolder() + "）");
  }
  return false;
}

}  // namespace

namespace {
common::ThreadOwner& runStateOwner() {
  static common::ThreadOwner owner("the run state");
  return owner;
}
}  // namespace

RunState& runState() {
  static RunState state;
  runStateOwner().touch();
  return state;
}

int64_t kbTextToBytes(const std::string& text) {
  const double kb = common::roundedNumberText(text);
  // Beyond 2^53 KB the product no longer fits 64 bits.
  if (kb < -9007199254740992.0 || kb > 9007199254740991.0) common::fail(common::err::Overflow);
  return static_cast<int64_t>(kb) * 1024;
}

FindRequest transferSearch(const TransferOptions& options, std::vector<std::string>* list,
                           ProgressLabel* label) {
  return {.folder = options.serverDir,
          .patternList = options.targetList,
          .subFolders = options.subFolder,
          .resultList = list,
          .progressLabel = label,
          .useMinSize = options.useMinSize,
          .minSizeBytes = options.minSizeBytes,
          .useMaxSize = options.useMaxSize,
          .maxSizeBytes = options.maxSizeBytes,
          .useCountLimit = options.useCountLimit,
          .countLimit = options.countLimit,
          .excludedFolder = options.receiveDir};
}

std::string formatSummary(int32_t files, int64_t bytes, int64_t seconds) {
  return "処理結果： " + std::to_string(files) + " ファイル   " + byteTotalText(bytes) +
         " バイト   処理時間 " + std::to_string(seconds) + " 秒";
}

bool gProcess1(ExecuteWindow& window) {
  const common::ThreadHold holding(runStateOwner());
  return common::guardFatal("gProcess1", [&] {
    std::string targetList;
    if (!gGetSettingData_TargetExtension(window, targetList))
      common::gProcFatalError("gProcess1", "");
    TransferOptions options = window.takeSnapshot();
    options.targetList = targetList;

    RunState& state = runState();
    FindTotals totals{state.runFileCount, state.runByteTotal};
    FindRequest search = transferSearch(options, &state.lstResult, window.progressLabel());
    std::vector<FoundFile> seen(state.lstResult.size());
    search.resultFiles = &seen;
    const bool found = findFiles(search, totals);
    state.runFileCount = totals.fileCount;
    state.runByteTotal = totals.byteTotal;
    if (!found) common::gProcFatalError("gProcess1", "");
    RunJournal journal;
    if (!state.lstResult.empty() && !startJournal(journal, options)) return false;
    const bool moved = mMoveFile(state.lstResult, options,
                                 MoveExtras{.observer = &journal, .sourceFiles = &seen}, nullptr);
    // The run is done only once its journal says so on disk.
    const int recorded = journal.finish(moved);
    if (!moved || recorded != 0) common::gProcFatalError("gProcess1", "");
    return true;
  });
}

void executeCommand(ExecuteWindow& window) {
  // The whole command, on the run's worker thread in the program.
  const common::ThreadHold holding(runStateOwner());
  common::guardFatal("cmdExecute_Click", [&] {
    RunState& state = runState();
    state.serialNumber = 0;
    state.lastExecute = common::localDateTimeText();
    state.runFileCount = 0;
    state.runByteTotal = 0;
    if (!window.checkSettings()) return;

    window.enterBusyState();
    window.saveSettings();
    state.lstResult.clear();

    const int64_t start = gGetTickCount();
    if (!gProcess1(window)) {
      // It did not start: no summary to show.
      window.leaveBusyState();
      return;
    }
    const int64_t end = gGetTickCount();

    // A monotonic clock never runs back; the guard only keeps a bad reading
    // from showing a negative time.
    const int64_t seconds = std::max<int64_t>(0, (end - start) / 1000);
    window.showSummary(formatSummary(state.runFileCount, state.runByteTotal, seconds));
    window.leaveBusyState();
  });
}

}  // namespace msifter::engine
