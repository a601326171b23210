// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One transfer run, as the window and the command line both start it: the
// options taken, the search, the journal begun, the files transferred and
// the journal ended, in that order. Each caller keeps its own choreography
// around it (checks, busy state, messages, exit status); nothing here waits
// for a caller.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/finder.h"
#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/name_planner.h"
#include "engine/transfer_options.h"
#include "options/run_options.h"

namespace msifter::engine {

// What a run tells as it goes, on the run's thread. It only listens: the run
// waits for none of it, and none of it may throw.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The search enters a folder.
  virtual void folderEntered(const std::string& /*folder*/) {}
  // What the search could not look into; the run goes on without it.
  virtual void notSearched(const NotSearched& /*gap*/) {}
  // The search found these, the journal is begun: the transfer starts.
  virtual void transferStarting(int64_t /*files*/, int64_t /*bytes*/) {}
  // A group of files, recorded before any of them is touched.
  virtual void filesPlanned(std::size_t /*files*/) {}
  virtual void fileTransferred(const TransferredFile& /*file*/) {}
  virtual void fileSkipped(const std::string& /*source*/, const std::string& /*identical*/) {}
  // A dry run's file, as soon as it is planned, in the search's order.
  virtual void filePreviewed(const PlannedFile& /*file*/) {}
  // The observer keeps what it needs of each file previewed: the result
  // holds no plan and no found paths, so a preview of a million files
  // holds neither.
  virtual bool takesPlan() const { return false; }
};

// How far a run got.
enum class RunStage {
  NoTargets,     // its target list could not be built
  SearchFailed,  // its search failed (reported under gFindFile)
  Planned,       // a dry run: its plan, nothing changed
  PlanFailed,    // the dry run's plan failed (reported under planTransfers)
  NotStarted,    // its journal could not begin (journalError; EBUSY: busyWith)
  Failed,        // it stopped at `failure`
  Done,          // every file transferred (journalError: the journal's end)
};

// A run's state as it ended, a value of its own.
struct RunResult {
  RunStage stage = RunStage::Done;
  std::vector<std::string> lstResult;  // the found paths, in search order
  int32_t runFileCount = 0;            // what the search accepted
  int64_t runByteTotal = 0;
  int32_t serialNumber = 0;  // the next serial number
  TransferOptions snapshot;
  std::vector<PlannedFile> plan;  // of a dry run, unless the observer takes it
  MoveFailure failure;
  // The errno of the journal's begin (NotStarted) or of its end, or 0.
  int journalError = 0;
  std::string journalId;  // "" when no journal was begun
  std::string journalPath;
  int64_t journalFiles = 0;  // the files it records as transferred
  LeftCounts left;           // of a failed run
  RunSummary busyWith;       // the run in the way (NotStarted, EBUSY)
};

// Runs `options` (a dry run when options.dryRun): takes the snapshot,
// searches, and plans, or begins the journal, transfers and ends the
// journal. Date-time names take `captureStamps`' moments when the options
// ask for capture times.
RunResult runTransfer(const options::RunOptions& options, RunObserver& observer,
                      StampSource* captureStamps = nullptr);

// What runs the options; runTransfer, or a stand-in that a benchmark times.
using RunFunction = std::function<RunResult(const options::RunOptions&, RunObserver&)>;

// gProcess1: the window's run, from targets to transfer. Its failures take
// the fatal path (after the procedures below have logged their own); a run
// whose journal cannot begin is told in the catalogue's words and does not
// start: false. `result` holds what the run left.
bool gProcess1(const options::RunOptions& options, RunObserver& observer, RunResult& result,
               const RunFunction& run = {});

// The search a run makes with `options`: full paths into `list`, each folder
// shown on `label`, the destination folder left out where it lies inside the
// source.
FindRequest transferSearch(const TransferOptions& options, std::vector<std::string>* list,
                           ProgressLabel* label);

std::string formatSummary(int32_t files, int64_t bytes, int64_t seconds);

}  // namespace msifter::engine
