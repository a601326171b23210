// SPDX-License-Identifier: GPL-3.0-or-later
#include "run_history.h"

#include <algorithm>

#include "common/failure_reason.h"
#include "engine/journal.h"
#include "engine/run_words.h"
#include "engine/undo.h"
#include "engine/undo_reason.h"

namespace msifter::ui::history {

namespace {

RunResult resultOf(const engine::RunSummary& run) {
  if (run.inUse) return RunResult::Running;
  switch (run.end) {
    case engine::RunEnd::Completed: return RunResult::Completed;
    case engine::RunEnd::Failed: return RunResult::Failed;
    case engine::RunEnd::Interrupted:
    case engine::RunEnd::Unfinished: break;
  }
  return RunResult::Unfinished;
}

RunRow rowOf(const engine::RunSummary& run) {
  return RunRow{.id = run.id,
                .startedSeconds = run.startedSeconds,
                .copy = run.options.copyFiles,
                .files = run.files,
                .bytes = run.bytes,
                .undoneFiles = run.undoneFiles,
                .result = resultOf(run),
                .endWord = std::string(engine::runEndWord(run)),
                .notes = engine::runNotes(run),
                .source = run.options.serverDir,
                .destination = run.options.receiveDir};
}

UndoStatus statusOf(engine::UndoStatus status) {
  switch (status) {
    case engine::UndoStatus::Done: return UndoStatus::Done;
    // A run was named, so "no runs at all" means it is not there either.
    case engine::UndoStatus::NoRuns:
    case engine::UndoStatus::NoSuchRun: return UndoStatus::NoSuchRun;
    case engine::UndoStatus::InUse: return UndoStatus::InUse;
    case engine::UndoStatus::Unreadable: break;
  }
  return UndoStatus::Unreadable;
}

void count(UndoTally& tally, const engine::UndoItem& item) {
  using engine::UndoOutcome;
  const engine::TransferredFile& f = item.entry.file;
  switch (item.outcome) {
    case UndoOutcome::Undone:
    case UndoOutcome::WouldUndo:
      ++(f.kind == engine::TransferredFile::Kind::Copied ? tally.copiesRemoved : tally.movedBack);
      return;
    case UndoOutcome::AlreadyUndone: ++tally.alreadyUndone; return;
    default: break;
  }
  tally.refused.push_back(UndoRefusal{.number = item.entry.number,
                                      .source = f.source,
                                      .destination = f.destination,
                                      .reason = engine::undoItemReason(item)});
}

}  // namespace

std::vector<RunRow> listRuns() {
  std::vector<RunRow> rows;
  for (const engine::RunSummary& run : engine::listRuns()) rows.push_back(rowOf(run));
  std::reverse(rows.begin(), rows.end());
  return rows;
}

std::optional<RunFiles> readRun(const std::string& id) {
  std::optional<engine::RunRecord> record = engine::readRun(id);
  if (!record) return std::nullopt;
  RunFiles run;
  run.run = rowOf(record->summary);
  run.files.reserve(record->entries.size());
  for (engine::JournalEntry& entry : record->entries) {
    run.files.push_back(FileRow{.number = entry.number,
                                .source = std::move(entry.file.source),
                                .destination = std::move(entry.file.destination),
                                .undone = entry.undone});
  }
  return run;
}

UndoTally undoRun(const std::string& id, bool dryRun) {
  // An empty name would take back whichever run is newest.
  UndoTally tally;
  if (id.empty()) {
    tally.status = UndoStatus::NoSuchRun;
    return tally;
  }
  const engine::UndoReport report = engine::undoRun({.runId = id, .dryRun = dryRun});
  tally.status = statusOf(report.status);
  tally.run = rowOf(report.run);
  if (report.status == engine::UndoStatus::Unreadable)
    tally.statusReason = common::failureReason(0, report.error);
  for (const engine::UndoItem& item : report.items) count(tally, item);
  if (report.markError != 0) tally.markFailure = common::failureReason(0, report.markError);
  return tally;
}

}  // namespace msifter::ui::history
