// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/finder.h"
#include "engine/name_planner.h"
#include "engine/transfer_options.h"

namespace msifter::engine {

// One file whose transfer is complete and on disk: a move within one file
// system once its rename is flushed, a copy once its name is, a move between
// file systems once its copy is named on disk and its source's removal is
// flushed.
struct TransferredFile {
  enum class Kind { Moved, Copied };
  Kind kind = Kind::Moved;
  std::string source;
  std::string destination;  // full path of the new file
  int64_t size = 0;
  int64_t modifiedSeconds = 0;
  int32_t modifiedNanoseconds = 0;
  uint64_t device = 0;  // of the new file
  uint64_t inode = 0;
  int64_t number = -1;  // the file's TransferIntent::number; -1: not planned
  // Its source and new path are those of its intent (the last one of its
  // number): the journal need not write them again.
  bool asIntended = false;
};

// A transferred file's copy in the backup folder, on disk before the file
// counted as transferred.
struct BackupCopy {
  std::string path;  // "" for none
  uint64_t device = 0;
  uint64_t inode = 0;
};

// A file about to be transferred, told before it is touched: the source as
// it is now (its identity) and the new path planned for it.
struct TransferIntent {
  int64_t number = 0;  // 0, 1, ... in the run's order
  bool copy = false;
  std::string source;
  std::string destination;  // full path
  int64_t size = 0;
  int64_t modifiedSeconds = 0;
  int32_t modifiedNanoseconds = 0;
  uint64_t device = 0;  // of the source
  uint64_t inode = 0;
  DateSource dateSource = DateSource::None;  // of the new name's moment
};

// Told of every file before its transfer and as it completes, in the order
// they complete.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // A group of files, before any of them is touched. Returns 0 once they
  // are recorded for good, or the errno that stops the run there. Must not
  // throw.
  virtual int filesPlanned(const std::vector<TransferIntent>& /*group*/) { return 0; }
  // A planned file takes another name (its planned one was taken meanwhile);
  // before it takes it, as filesPlanned.
  virtual int fileRenamed(const TransferIntent& /*intent*/) { return 0; }
  // Folders below the destination (full paths, each above the ones below
  // it) that the next group's files go into and that are not there: told
  // before that group, made after it is recorded. Returns 0 or the errno
  // that stops the run there, as filesPlanned.
  virtual int foldersPlanned(const std::vector<std::string>& /*folders*/) { return 0; }
  // The sources on file system `device` have its root at `mountRoot`: told
  // before the first group with such a source. A later look tells a file
  // system mounted again (under another device number) from one that is
  // not mounted, whose mount point shows an empty folder. Must not throw.
  virtual void sourceFileSystem(uint64_t /*device*/, const std::string& /*mountRoot*/) {}
  // Planned files whose transfer did not complete, once the run has ended
  // (after a failure): as last planned. Must not throw.
  virtual void filesLeft(const std::vector<TransferIntent>& /*left*/) {}
  // Must not throw.
  virtual void fileTransferred(const TransferredFile& file) = 0;
  // Right after fileTransferred, the file's backup. Must not throw.
  virtual void fileBackedUp(int64_t /*number*/, const BackupCopy& /*backup*/) {}
  // A file left where it is, as `identical` (a full path) holds its bytes:
  // a file of the destination, or, for a file of this run still waiting for
  // its batch, that file's source path. Must not throw.
  virtual void fileSkipped(const std::string& /*source*/, const std::string& /*identical*/) {}
};

// What a run started elsewhere than in the window adds to it.
struct MoveExtras {
  TransferObserver* observer = nullptr;
  // Date-time names by this moment instead of the transfer's.
  StampSource* stamps = nullptr;
  // With `stamps`: a photo and its companions share one prefix and folder
  // (file_groups.h), and a sidecar is left where it is when the photos of
  // its group are all skipped as identical.
  bool groups = false;
  // Leave a file where it is when the destination folder holds its bytes
  // under any name, counting the files this run has put there.
  bool skipIdentical = false;
  // Each source's length as the search found it (FindRequest::resultSizes),
  // which spares skipIdentical a look at every source. A file whose length
  // has changed since is not found identical and is transferred.
  const std::vector<int64_t>* sourceSizes = nullptr;
  // Each source as the search saw it (FindRequest::resultFiles): its
  // length, and the identity its intent records, which spares a look at
  // every source before its transfer.
  const std::vector<FoundFile>* sourceFiles = nullptr;
  // The run's serial number, advanced by every serial name handed out;
  // nullptr: serial names from 0.
  int32_t* serialNumber = nullptr;
};

// Where and why a run stopped.
struct MoveFailure {
  std::string path;    // the file it stopped at, or the folder that failed
  int32_t number = 0;  // the failure number (common::err); 0: unexpected
  int error = 0;       // the system's reason (errno), when it gave one
  // The observer (the run's journal) refused the files from `path` on:
  // none of them was touched.
  bool unrecorded = false;
  // The file's copy stays in the destination beside (or instead of) its
  // source: the source was rewritten, or went elsewhere, meanwhile.
  bool copyKept = false;
  // It was the copy into the backup folder that failed (or the backup
  // folder itself, when `path` is that folder).
  bool backup = false;
  // `path` is a folder below the destination that the run could not make
  // or enter: a link or a file in its place (ELOOP, ENOTDIR), or another
  // failure of the system.
  bool folder = false;
};

// Moves or copies every listed file into options.receiveDir under its new
// name. Every source is reached through its folder opened beneath
// options.serverDir, never through a link: a source outside it, or one
// whose folder was swapped for a link since the search, fails (EXDEV,
// ELOOP) and ends the run there. Files are planned in groups, each told to the observer before any
// of its files is touched; the run ends at the first file that cannot be
// transferred, and every file after it stays where it was. True when every
// entry was transferred and is on disk.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer = nullptr);
// The same run with extras; after a failure (reported under "mMoveFile" as
// always) `failure` tells where it stopped.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               const MoveExtras& extras, MoveFailure* failure);

// One file of a preview.
struct PlannedFile {
  // NameTooLong: its extension leaves no room for a name within the limit.
  // FolderRefused: its folder below the destination is a link or a file
  // (`name` is that folder, relative to the destination).
  // SkipWithPhoto: a sidecar left where it is with the photos of its group,
  // skipped as identical (`name` is the photo's identical file).
  enum class Action {
    Transfer,
    NoFreeName,
    SkipIdentical,
    NameTooLong,
    FolderRefused,
    SkipWithPhoto
  };
  Action action = Action::Transfer;
  std::string source;
  // The new name in the destination folder, with the folders below it it
  // goes into ("2024/05/01/..."); when skipped, the full path of the file
  // in the folder (or planned for it) that holds the same bytes.
  std::string name;
  DateSource dateSource = DateSource::None;  // of the new name's moment
};

// What mMoveFile would do with `sources`, named by the same planner, with
// date-time names as of now: a name taken in the destination or earlier in
// the plan takes the next number; a file without a free name or with a name
// too long ends the plan, as it ends the run. Serial numbers start at
// extras.serialNumber's, which is left as it is; nothing else changes either. False after a
// failure, reported under "planTransfers".
bool planTransfers(const std::vector<std::string>& sources, const TransferOptions& options,
                   const MoveExtras& extras, std::vector<PlannedFile>& plan);

}  // namespace msifter::engine
