#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
};

// Moves or copies every listed file into options.receiveDir under its new
// name. True when every entry was transferred.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options,
               TransferObserver* observer = nullptr);

}  // namespace msifter::engine
