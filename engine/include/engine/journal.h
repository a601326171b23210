#pragma once
// The journal of every transfer run: one file per run under
// $XDG_STATE_HOME/m_sifter/journal/ (default ~/.local/state/m_sifter/journal/)
// with the run's options and one line per file whose transfer completed.
//
// It is written as the run goes: each file's line with one write(2) when the
// mover reports the file complete, so that after the program is killed it
// still describes every completed file; flushed to disk at most once a
// second and at the end. A plain text, readable with `less`; paths keep
// their raw bytes (control bytes, "%" and bytes that are not UTF-8 are
// written as %XX).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/mover.h"
#include "engine/run.h"
#include "platform/syscalls.h"

namespace msifter::engine {

namespace detail {
class JournalFile;
}

enum class RunEnd { Unfinished, Completed, Failed };
enum class UndoState { NotUndone, PartlyUndone, Undone };

// One file of a run, as transferred.
struct JournalEntry {
  int64_t number = 0;  // 0, 1, ... in the order the files completed
  TransferredFile file;
  bool undone = false;
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
  // Unfinished: killed, or the journal could not be written to the end.
  RunEnd end = RunEnd::Unfinished;
  // Being written right now: the run goes on, or it is being undone.
  bool inUse = false;
  // Lines that could not be read (cut short or damaged) were left out.
  bool damaged = false;

  UndoState undoState() const;
};

struct RunRecord {
  RunSummary summary;
  std::vector<JournalEntry> entries;  // in the order the files completed
};

// The folder of the journals; "" when neither XDG_STATE_HOME nor HOME is set.
std::string journalFolder();
// Every run that has a journal, oldest first. A journal that was cut short
// lists with what it records.
std::vector<RunSummary> listRuns();
// The run named `id`, entries included; nothing when there is no such run.
std::optional<RunRecord> readRun(const std::string& id);

// Writes the journal of one run. Never stops the run: a journal that cannot
// be written (no space, no permission) is abandoned, and its first failure
// goes to the error log once, under "writeRunJournal".
class RunJournal final : public TransferObserver {
 public:
  RunJournal();
  // Ends the journal as failed if finish() was not called.
  ~RunJournal() override;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // Creates the journal of a run that starts now with `options`. Returns 0
  // or the errno of the failure.
  int begin(const TransferOptions& options);
  void fileTransferred(const TransferredFile& file) override;
  // Marks the end (files, bytes, completed or not), flushes and closes.
  // Returns 0 or the errno of the journal's first failure.
  int finish(bool completed);

  // Empty until begin() has succeeded.
  const std::string& id() const { return id_; }
  const std::string& path() const { return path_; }

 private:
  void abandon(int error);

  std::unique_ptr<detail::JournalFile> file_;
  platform::UniqueFd lock_;  // held from begin to finish
  std::string id_;
  std::string path_;
  std::string base_;  // the current folder when the run began
  int64_t files_ = 0;
  int64_t bytes_ = 0;
  int error_ = 0;
  bool finished_ = false;
};

}  // namespace msifter::engine
