#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/name_planner.h"
#include "engine/run.h"

namespace msifter::engine {

// One file whose transfer is complete: a move within one file system after
// its rename, a copy once it has its name, a move between file systems once
// its copy is on disk and its source is gone.
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
};

// Told of every file as its transfer completes, in the order they complete.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // Must not throw.
  virtual void fileTransferred(const TransferredFile& file) = 0;
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
  // Leave a file where it is when the destination folder holds its bytes
  // under any name, counting the files this run has put there.
  bool skipIdentical = false;
  // Each source's length as the search found it (FindRequest::resultSizes),
  // which spares skipIdentical a look at every source. A file whose length
  // has changed since is not found identical and is transferred.
  const std::vector<int64_t>* sourceSizes = nullptr;
};

// Where and why a run stopped.
struct MoveFailure {
  std::string path;    // the file whose turn it was, or the folder that failed
  int32_t number = 0;  // the failure number (common::err); 0: unexpected
  int error = 0;       // the system's reason (errno), when it gave one
};

// Moves or copies every listed file into options.receiveDir under its new
// name. True when every entry was transferred.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer = nullptr);
// The same run with extras; after a failure (reported under "mMoveFile" as
// always) `failure` tells where it stopped.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               const MoveExtras& extras, MoveFailure* failure);

// One file of a preview.
struct PlannedFile {
  // NameTooLong: its extension leaves no room for a name within the limit.
  enum class Action { Transfer, NoFreeName, SkipIdentical, NameTooLong };
  Action action = Action::Transfer;
  std::string source;
  // The new name in the destination folder; when skipped, the full path of
  // the file in the folder (or planned for it) that holds the same bytes.
  std::string name;
};

// What mMoveFile would do with `sources`, named by the same planner, with
// date-time names as of now: a name taken in the destination or earlier in
// the plan takes the next number; a file without a free name or with a name
// too long ends the plan, as it ends the run. Serial numbers start at runState()'s,
// which is left as it is; nothing else changes either. False after a
// failure, reported under "planTransfers".
bool planTransfers(const std::vector<std::string>& sources, const TransferOptions& options,
                   const MoveExtras& extras, std::vector<PlannedFile>& plan);

}  // namespace msifter::engine
