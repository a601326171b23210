// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The journal files themselves, shared by the run's journal, undo and the
// settling of runs that were cut short.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/journal.h"
#include "journal_lines.h"
#include "platform/file_reading.h"
#include "platform/unique_fd.h"

namespace msifter::engine::detail {

// Lines appended to a journal open at `fd` (which the caller keeps). Lines
// are queued and go out together, one system call per write(); sync() puts
// them on disk before it returns. The first failure sticks: every later
// call returns it, since what follows it would not be read in order.
//
// A run's journal reserves its room ahead, a megabyte at a time, and writes
// its lines into it: a write that does not grow the file is much cheaper
// than an append (no size to update on every line). A journal whose writer
// was killed ends in zero bytes; readers take them as unused room.
class JournalFile {
 public:
  // `end`: where the next line goes. `reserveAhead`: keep room allocated
  // beyond it (given back by finish()).
  JournalFile(int fd, int64_t end, bool reserveAhead)
      : fd_(fd), end_(end), reserved_(end), reserveAhead_(reserveAhead) {}

  // May throw std::bad_alloc.
  void add(std::string_view line) { queued_.append(line); }
  // The lines queued: more may be written at its end.
  std::string& queue() { return queued_; }
  // Lines queued by `append(queue())`, whole or not at all: when memory
  // runs out the queue is cut back to where it was, and the answer is false.
  template <class Append>
  bool queueLines(Append&& append) {
    const std::size_t before = queued_.size();
    try {
      append(queued_);
      return true;
    } catch (const std::bad_alloc&) {
      queued_.resize(before);
      return false;
    }
  }
  // The queued lines out: 0 or the errno (a short write counts as a full disk).
  int write();
  // write(), then the file's contents on disk.
  int sync();
  // write(), the room reserved ahead given back, the file on disk.
  int finish();

 private:
  // Room for `bytes` more from end_; 0 or the errno.
  int reserve(std::size_t bytes);

  int fd_;
  int64_t end_ = 0;
  int64_t reserved_ = 0;
  bool reserveAhead_ = false;
  std::string queued_;
  int error_ = 0;
};

// The journals' folder, opened without following a link at its two last
// levels (made, 0700, when `create`); 0 or the errno.
int openJournalFolder(bool create, platform::UniqueFd& out);

// The journals' folder held by this process alone: runs start, and journals
// are settled, one at a time. While a run starts it can thus take every
// journal it finds locked for one being written, never for one being
// settled. Taken again on the same thread, it is held already.
class FolderLock {
 public:
  ~FolderLock();
  // Waits for the lock; 0 or the errno (a folder that cannot be written).
  int take(int folderFd);

 private:
  platform::UniqueFd fd_;
  bool taken_ = false;
};

enum class Access {
  Read,  // a look: RunSummary::inUse tells whether somebody writes it
  Undo,  // open for appending, locked for good; EWOULDBLOCK while in use
};

struct OpenedRun {
  platform::UniqueFd fd;
  RunRecord record;
  OpenWork open;
  // Bytes up to and with the last whole line.
  int64_t wholeLines = 0;
  int64_t size = 0;
};

// Opens and reads the journal of run `id` in the open journals' folder,
// settling it first (settleRun) where it needs that and nobody writes it.
// 0, ENOENT when there is no such run, or the errno.
int openRun(int folderFd, const std::string& id, Access access, OpenedRun& out);

// Reads the journal open in `run` again, after lines were added.
int rereadRun(OpenedRun& run);

using platform::sameBytes;

// --- Settling: what a look at the files finds (journal_settle.cpp) ---

// Settles what the journal of a run that nobody writes any more leaves
// open: each planned file gets its outcome from where it is now (its own
// copy or second name taken away where it is in two places), each file
// being undone is found back or not; a run cut short is marked
// interrupted, and a journal with nothing left open is closed. Held
// exclusively (Access::Undo). Then read again. 0 or the errno.
int settleRun(OpenedRun& run);

// One planned file: the line that says what became of it ("file" or
// "outcome"), or "" when that cannot be told now (its source's folder is
// not there). `how` tells which, `done` is filled when it was transferred.
struct IntentOutcome {
  std::string line;
  bool transferred = false;
  TransferredFile done;
  BackupCopy backup;  // of a file transferred, where one was found
  LeftAs how = LeftAs::Untouched;
};
// `base` makes relative paths absolute in the line, as the run wrote them;
// `mounts` are the roots of the sources' file systems as the run found them.
// Where a run's backups go: each new path beneath `destination` has its
// backup at the same place beneath `backup` ("" for a run without one).
struct BackupPlace {
  std::string destination;
  std::string backup;
};
// A backup found for a file transferred is recorded with it; one of a file
// left whole at its source is the run's own and goes.
IntentOutcome settleIntent(const TransferIntent& intent, const std::string& base,
                           const MountRoots& mounts, const BackupPlace& backup);
// One file being undone: "undone", "not-undone", or "" when that cannot be
// told now. Its source is reached beneath `sourceRoot`, the run's source.
std::string settleUndoing(const JournalEntry& entry, const MountRoots& mounts,
                          const std::string& sourceRoot);

// A file found transferred, in a run with a backup folder, whose backup is
// not there: the run was cut short between the two.
struct MissingBackup {
  int64_t number = 0;
  TransferredFile file;  // as recorded: its new path and the new file's identity
};
// Makes the backup of each of `files` as the run would have: copied from
// the new file, reached beneath the destination without a link, staged,
// flushed and named in the backup folder without replacing anything. The
// folders it makes there are recorded, and on disk, before they are made.
// Each file then has its "backed-up" line, or its "not-backed-up" line with
// the reason (the backup folder gone or full, a name taken there, the new
// file changed since). 0, or the errno of the journal's failure.
int makeMissingBackups(const std::vector<MissingBackup>& files, const BackupPlace& place,
                       const std::string& base, JournalFile& journal);

}  // namespace msifter::engine::detail
