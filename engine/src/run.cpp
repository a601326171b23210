// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>

#include "common/failure.h"
#include "common/msg.h"
#include "engine/preview.h"

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

// The journal hears of every file first, the observer after it.
class Reporting final : public TransferObserver {
 public:
  Reporting(RunJournal& journal, RunObserver& observer) : journal_(journal), observer_(observer) {}

  int filesPlanned(const std::vector<TransferIntent>& group) override {
    const int error = journal_.filesPlanned(group);
    if (error == 0) observer_.filesPlanned(group.size());
    return error;
  }
  int fileRenamed(const TransferIntent& intent) override { return journal_.fileRenamed(intent); }
  int foldersPlanned(const std::vector<std::string>& folders) override {
    return journal_.foldersPlanned(folders);
  }
  void sourceFileSystem(uint64_t device, const std::string& mountRoot) override {
    journal_.sourceFileSystem(device, mountRoot);
  }
  void filesLeft(const std::vector<TransferIntent>& left) override { journal_.filesLeft(left); }
  void fileTransferred(const TransferredFile& file) override {
    journal_.fileTransferred(file);
    observer_.fileTransferred(file);
  }
  void fileBackedUp(int64_t number, const BackupCopy& backup) override {
    journal_.fileBackedUp(number, backup);
  }
  void fileSkipped(const std::string& source, const std::string& identical) override {
    journal_.fileSkipped(source, identical);
    observer_.fileSkipped(source, identical);
  }

 private:
  RunJournal& journal_;
  RunObserver& observer_;
};

class FolderCaption final : public ProgressLabel {
 public:
  explicit FolderCaption(RunObserver& observer) : observer_(observer) {}
  void setCaption(const std::string& caption) override { observer_.folderEntered(caption); }

 private:
  RunObserver& observer_;
};

bool search(RunResult& result, FindRequest& request, RunObserver& observer) {
  std::vector<NotSearched> notSearched;
  request.notSearched = &notSearched;
  FindTotals totals;
  const bool found = findFiles(request, totals);
  result.runFileCount = totals.fileCount;
  result.runByteTotal = totals.byteTotal;
  for (const NotSearched& gap : notSearched) observer.notSearched(gap);
  return found;
}

// The listed files planned by their places; false after a failure.
template <class Planned>
bool planGroups(Preview& plan, const std::vector<std::string>& sources,
                const std::vector<int64_t>& sizes, const Planned& planned) {
  plan.useGroups(sources,
                 [&sizes](std::size_t i) { return i < sizes.size() ? sizes[i] : int64_t{-1}; });
  for (std::size_t i = 0; i < sources.size() && !plan.ended(); ++i) {
    PlannedFile file;
    if (!common::guardLog("planTransfers", false, [&] {
          file = plan.plan(i);
          return true;
        }))
      return false;
    planned(std::move(file));
  }
  return true;
}

// A dry run plans each file as the search finds it; what the observer
// takes is not kept. A photo and its companions are planned together,
// which takes the whole list first.
void preview(RunResult& result, const MoveExtras& extras, RunObserver& observer) {
  std::optional<Preview> plan;
  if (!common::guardLog("planTransfers", false, [&] {
        plan.emplace(result.snapshot, extras);
        return true;
      })) {
    result.stage = RunStage::PlanFailed;
    return;
  }
  const bool keep = !observer.takesPlan();
  bool failed = false;
  const auto planned = [&](PlannedFile&& file) {
    observer.filePreviewed(file);
    if (keep) result.plan.push_back(std::move(file));
  };
  FolderCaption caption(observer);
  std::vector<int64_t> sizes;
  FindRequest request =
      transferSearch(result.snapshot, extras.groups ? &result.lstResult : nullptr, &caption);
  if (extras.groups) {
    request.resultSizes = &sizes;
  } else {
    request.entrySink = [&](std::string&& source, int64_t size) {
      if (failed || plan->ended()) {
        if (keep) result.lstResult.push_back(std::move(source));
        return;
      }
      PlannedFile file;
      failed = !common::guardLog("planTransfers", false, [&] {
        file = plan->plan(source, size);
        return true;
      });
      if (failed) return;
      planned(std::move(file));
      if (keep) result.lstResult.push_back(std::move(source));
    };
  }
  if (!search(result, request, observer)) {
    result.stage = RunStage::SearchFailed;
    return;
  }
  if (extras.groups) failed = !planGroups(*plan, result.lstResult, sizes, planned);
  result.stage = failed ? RunStage::PlanFailed : RunStage::Planned;
}

// No file is transferred without its record: a run whose journal cannot be
// made, or whose source another run is working on, does not start.
void transfer(RunResult& result, MoveExtras extras, RunObserver& observer) {
  RunJournal journal;
  if (!result.lstResult.empty()) {
    if (const int error = journal.begin(result.snapshot)) {
      result.stage = RunStage::NotStarted;
      result.journalError = error;
      result.busyWith = journal.busyWith();
      return;
    }
  }
  observer.transferStarting(result.runFileCount, result.runByteTotal);
  Reporting reporting(journal, observer);
  extras.observer = &reporting;
  const bool moved = mMoveFile(result.lstResult, result.snapshot, extras, &result.failure);
  // The run is done only once its journal says so on disk.
  result.journalError = journal.finish(moved);
  result.stage = moved ? RunStage::Done : RunStage::Failed;
  result.journalId = journal.id();
  result.journalPath = journal.path();
  result.journalFiles = journal.files();
  result.left = journal.left();
}

// A run that did not start: the user is told in the catalogue's words.
void tellNotStarted(const RunResult& result, const options::RunOptions& options) {
  if (result.journalError == EBUSY) {
    common::gDispMsg(msgcode::SourceBusy, "移動元のフォルダ（" + options.serverDir + "）");
  } else {
    common::gDispMsg(msgcode::CannotCreate, "実行の記録（" + journalFolder() + "）");
  }
}

}  // namespace

RunResult runTransfer(const options::RunOptions& options, RunObserver& observer,
                      StampSource* captureStamps) {
  RunResult result;
  if (!takeSnapshot(options, result.snapshot)) {
    result.stage = RunStage::NoTargets;
    return result;
  }
  std::vector<int64_t> sizes;
  std::vector<FoundFile> files;
  const bool byCapture = options.stamp == options::StampChoice::Capture;
  const MoveExtras extras{.stamps = byCapture ? captureStamps : nullptr,
                          .groups = byCapture && options.groups,
                          .skipIdentical = options.skipIdentical,
                          .sourceSizes = &sizes,
                          .sourceFiles = &files,
                          .serialNumber = &result.serialNumber};
  if (options.dryRun) {
    preview(result, extras, observer);
    return result;
  }
  FolderCaption caption(observer);
  FindRequest request = transferSearch(result.snapshot, &result.lstResult, &caption);
  request.resultSizes = &sizes;
  request.resultFiles = &files;
  if (!search(result, request, observer)) {
    result.stage = RunStage::SearchFailed;
    return result;
  }
  transfer(result, extras, observer);
  return result;
}

bool gProcess1(const options::RunOptions& options, RunObserver& observer, RunResult& result,
               const RunFunction& run) {
  return common::guardFatal("gProcess1", [&] {
    result = run ? run(options, observer) : runTransfer(options, observer);
    if (result.stage == RunStage::NotStarted) {
      tellNotStarted(result, options);
      return false;
    }
    // Done only once its journal says so on disk.
    if (result.stage != RunStage::Done || result.journalError != 0)
      common::gProcFatalError("gProcess1", "");
    return true;
  });
}

FindRequest transferSearch(const TransferOptions& options, std::vector<std::string>* list,
                           ProgressLabel* label) {
  return {.folder = options.serverDir,
          .patternList = options.targetList,
          .subFolders = options.subFolder,
          .resultList = list,
          .progressLabel = label,
          .bounds = options.bounds,
          .excludedFolder = options.receiveDir};
}

std::string formatSummary(int32_t files, int64_t bytes, int64_t seconds) {
  return "処理結果： " + std::to_string(files) + " ファイル   " + byteTotalText(bytes) +
         " バイト   処理時間 " + std::to_string(seconds) + " 秒";
}

}  // namespace msifter::engine
