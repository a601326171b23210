// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run journals as the history window shows them. The window reaches the
// journal and undo only through here, so that it reads plain rows and tallies.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace msifter::ui::history {

enum class RunResult { Completed, Failed, Unfinished, Running };

struct RunRow {
  std::string id;
  int64_t startedSeconds = 0;
  bool copy = false;
  int64_t files = 0;
  int64_t bytes = 0;
  int64_t undoneFiles = 0;
  RunResult result = RunResult::Unfinished;
  // How it ended and what its journal says beside that, as the command line
  // says them.
  std::string endWord;
  std::string notes;
  std::string source;
  std::string destination;
};

struct FileRow {
  int64_t number = 0;  // the journal's number of the file
  std::string source;
  std::string destination;
  bool undone = false;
};

struct RunFiles {
  RunRow run;
  std::vector<FileRow> files;
};

// Every run, newest first.
std::vector<RunRow> listRuns();
// One run with its files; nothing when it has no journal (any more).
std::optional<RunFiles> readRun(const std::string& id);

enum class UndoStatus { Done, NoSuchRun, InUse, Unreadable };

struct UndoRefusal {
  int64_t number = 0;
  std::string source;
  std::string destination;
  std::string reason;
};

// What an undo did, or a dry run would do.
struct UndoTally {
  UndoStatus status = UndoStatus::Done;
  std::string statusReason;  // Unreadable: why
  RunRow run;
  int64_t movedBack = 0;      // moved files put back at their source
  int64_t copiesRemoved = 0;  // copies deleted from the destination
  int64_t alreadyUndone = 0;
  std::vector<UndoRefusal> refused;  // in the order tried
  std::string markFailure;           // empty unless the undone files could not all be noted
};

UndoTally undoRun(const std::string& id, bool dryRun);

}  // namespace msifter::ui::history
