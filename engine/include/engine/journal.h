// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The journal of every transfer run: one file per run under
// $XDG_STATE_HOME/m_sifter/journal/ (default ~/.local/state/m_sifter/journal/)
// with the run's options, what it planned and what it did.
//
// It is written ahead of the files: a group of files is planned and its
// lines ("intent": the source as it is, the new path) are on disk before any
// of them is touched; a file's own line ("file") follows once its transfer
// is on disk; the run's end ("ended") once the last file is, and only then
// is the run reported done. Whoever reads a journal next and finds files
// planned without an outcome, in a run nobody is writing any more (killed,
// power cut), settles them by looking at the files (see settleRun), so the
// journal tells where every file is. Undo writes ahead likewise ("undoing",
// then "undone").
//
// A plain text, readable with `less`; paths keep their raw bytes (control
// bytes, "%" and bytes that are not UTF-8 are written as %XX).
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/mover.h"
#include "engine/transfer_options.h"
#include "platform/unique_fd.h"

namespace msifter::engine {

namespace detail {
class JournalFile;
}

// Unfinished: cut short and not settled yet (or written by an older version).
// Interrupted: cut short, then settled by a look at the files.
enum class RunEnd { Unfinished, Completed, Failed, Interrupted };
enum class UndoState { NotUndone, PartlyUndone, Undone };

// One file of a run, as transferred.
struct JournalEntry {
  int64_t number = 0;  // the file's place in the run
  TransferredFile file;
  bool undone = false;
  DateSource dateSource = DateSource::None;  // of its new name's moment
  BackupCopy backup;                         // path "" without one
  // A run with a backup folder whose copy of this file could not be made:
  // why (errno), 0 otherwise.
  int backupError = 0;
};

// A file left where it was, as `identical` held its bytes (--skip-identical).
struct SkippedFile {
  std::string source;
  std::string identical;
};

// A planned file that the run did not transfer, as a look found it.
enum class LeftAs {
  Untouched,      // at its source; nothing at its new path
  CopyDropped,    // the run's own copy (or second name) of it was taken away
  BothKept,       // at its source and at its new path, which differ: both stay
  Missing,        // at neither
  NotAsRecorded,  // gone from its source; the new path holds another file
};

struct LeftFile {
  int64_t number = 0;
  LeftAs how = LeftAs::Untouched;
  std::string source;
  std::string destination;
};

struct RunSummary {
  std::string id;    // names the run to undo: "20240105-143000" (local time), "-2" on a clash
  std::string path;  // of the journal file
  int64_t startedSeconds = 0;  // since the epoch
  // Folders, target list and switches of the run; copyFiles tells move or copy.
  TransferOptions options;
  int64_t files = 0;  // recorded: files whose transfer completed
  int64_t bytes = 0;
  int64_t undoneFiles = 0;
  int64_t skippedFiles = 0;  // left where they were, as identical
  RunEnd end = RunEnd::Unfinished;
  // Being written right now: the run goes on, or it is being undone.
  bool inUse = false;
  // Lines that could not be read (cut short or damaged) were left out.
  bool damaged = false;
  // Planned files a look found neither transferred nor simply left:
  // BothKept, Missing or NotAsRecorded. The user should look at them.
  int64_t unclearFiles = 0;
  // Planned files not settled yet: their source's folder could not be
  // reached (a card not mounted); the next look tries again.
  int64_t pendingFiles = 0;
  // Files of a run with a backup folder that have no copy there (its making
  // failed, or a look has yet to make it); files taken back do not count.
  int64_t unbackedFiles = 0;

  UndoState undoState() const;
};

struct RunRecord {
  RunSummary summary;
  std::vector<JournalEntry> entries;  // in the order the files completed
  std::vector<LeftFile> left;         // planned, not transferred
  // Folders below the destination the run was to make, each recorded
  // before it was made, a folder before the folders in it. Some may not
  // have been made, had the run stopped first.
  std::vector<std::string> madeFolders;
  std::vector<SkippedFile> skipped;  // in the run's order
};

// The folder of the journals; "" when neither XDG_STATE_HOME nor HOME is set.
std::string journalFolder();
// Every run that has a journal, oldest first, each settled first where it
// needs to be (and can be). A journal that was cut short lists with what it
// records.
std::vector<RunSummary> listRuns();
// The run named `id`, entries included, settled first where it needs to be;
// nothing when there is no such run.
std::optional<RunRecord> readRun(const std::string& id);

// What finish() found of the files that were planned and not transferred.
struct LeftCounts {
  int64_t untouched = 0;  // where they were (copies of the run's own dropped)
  int64_t unclear = 0;    // see RunSummary::unclearFiles
  int64_t pending = 0;    // see RunSummary::pendingFiles
};

// Writes the journal of one run. A run without its journal does not start,
// and one whose journal fails stops there: begin()'s and every later
// failure is returned (and goes to the error log once, under
// "writeRunJournal").
class RunJournal final : public TransferObserver {
 public:
  RunJournal();
  // Ends the journal as failed if finish() was not called.
  ~RunJournal() override;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // Creates the journal of a run that starts now with `options`, after
  // settling the journals of runs that were cut short. Returns 0; EBUSY
  // when a run that is going on works on the same source folder, or one
  // inside or around it (busyWith() names it); or the errno of the failure.
  int begin(const TransferOptions& options);
  int filesPlanned(const std::vector<TransferIntent>& group) override;
  int fileRenamed(const TransferIntent& intent) override;
  // Recorded with the next group's files, before any of these folders is made.
  int foldersPlanned(const std::vector<std::string>& folders) override;
  void fileTransferred(const TransferredFile& file) override;
  // Its line follows the file's, in the same flush.
  void fileBackedUp(int64_t number, const BackupCopy& backup) override;
  // Changes nothing on disk, so its line waits for the next group's flush.
  void fileSkipped(const std::string& source, const std::string& identical) override;
  void sourceFileSystem(uint64_t device, const std::string& mountRoot) override;
  // Settles them by a look at them (see left()).
  void filesLeft(const std::vector<TransferIntent>& left) override;
  // Marks the end (files, bytes, completed or not) and puts the journal on
  // disk; closed when every planned file has its outcome. Returns 0 or the
  // errno of the journal's first failure.
  int finish(bool completed);

  // Empty until begin() has succeeded.
  const std::string& id() const { return id_; }
  const std::string& path() const { return path_; }
  // After begin() returned EBUSY: the run in the way.
  const RunSummary& busyWith() const { return busyWith_; }
  // After filesLeft().
  const LeftCounts& left() const { return left_; }
  int64_t files() const { return files_; }

 private:
  int create(int folderFd, const TransferOptions& options);
  int fail(int error);

  platform::UniqueFd fd_;  // locked from begin to finish
  std::unique_ptr<detail::JournalFile> file_;
  std::map<uint64_t, std::string> mounts_;  // as told by sourceFileSystem()
  std::string destination_;                 // the run's, and its backup folder
  std::string backup_;
  int64_t planned_ = 0;  // files planned
  int64_t settled_ = 0;  // of those, files with an outcome
  std::string id_;
  std::string path_;
  std::string base_;  // the current folder when the run began
  int64_t files_ = 0;
  int64_t bytes_ = 0;
  int error_ = 0;
  bool finished_ = false;
  RunSummary busyWith_;
  LeftCounts left_;
};

}  // namespace msifter::engine
