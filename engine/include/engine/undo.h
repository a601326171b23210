// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Takes a run back, file by file, from its journal: in reverse order a moved
// file goes back to its source path (its folders made again if missing) and
// a copy is removed. Only the very file that the run left is touched, and
// nothing at the old path is ever replaced; what cannot be undone is
// reported with its reason, and the rest is still undone. The journal is
// written ahead: a group of files is marked as being undone on disk before
// any of them is touched, and each file as undone once it is back on disk,
// so an undo is never done twice, and one that was stopped (killed, power
// cut) is settled by the next look at the journal and can be run again for
// the rest.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal.h"

namespace msifter::engine {

enum class UndoOutcome {
  Undone,           // moved back, or the copy removed
  WouldUndo,        // dry run: would be undone
  AlreadyUndone,    // by an earlier undo; not tried again
  Missing,          // nothing at the new path any more
  Changed,          // the file at the new path differs in size, time or identity
  NameTaken,        // something else has the old path by now
  FolderMissing,    // the run's source folder is gone (a card not mounted?)
  OriginalMissing,  // a copy whose original is no longer at its source: the copy stays
  Outside,          // the journal leads outside the run's folders, or through a link: not touched
  Failed,           // the system refused; UndoItem::error says why
};

struct UndoItem {
  JournalEntry entry;
  UndoOutcome outcome = UndoOutcome::Failed;
  int error = 0;  // errno, for Failed
};

enum class UndoStatus {
  Done,        // every entry was looked at; see the items
  NoRuns,      // no journal at all (the last run was asked for)
  NoSuchRun,   // no journal of that name
  InUse,       // the run is still going on, or being undone elsewhere
  Unreadable,  // the journal could not be opened; `error` says why
};

struct UndoRequest {
  std::string runId;  // empty: the newest run with files not taken back yet, else the last
  bool dryRun = false;
};

struct UndoReport {
  UndoStatus status = UndoStatus::Done;
  int error = 0;
  RunSummary run;               // as it was before this undo
  std::vector<UndoItem> items;  // in the order tried: the run's order reversed
  // The first failure to write to the journal (errno): the files it could
  // not mark ahead were left alone; files back whose mark did not reach the
  // disk are found back by the next look at the journal.
  int markError = 0;
  // Backups removed with their files (a backup goes only once its file is
  // undone, and only while it is the very file the run made there).
  std::size_t backupsRemoved = 0;
  // Folders the run made below its destination and this undo removed,
  // being empty; one that holds anything stays.
  std::vector<std::string> foldersRemoved;

  std::size_t count(UndoOutcome outcome) const;
};

UndoReport undoRun(const UndoRequest& request);

}  // namespace msifter::engine
