// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The backup folder of a run (--backup): every file also goes there, under
// the same name, copied from its new file in the destination once that is
// on disk, staged and named after a flush as the destination's copies are.
// A name taken there is never replaced: that file fails, and the run ends
// at it as it ends at a destination that fails.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/mover.h"
#include "platform/destination_folder.h"
#include "platform/source_tree.h"

namespace msifter::engine {

class BackupCopies final : public platform::SecondCopies {
 public:
  // The copies are taken from beneath `destination` and made in `backup`.
  platform::OsError open(const std::string& destination, const std::string& backup);
  // The levels of `folder` (below the backup folder) that are not there yet.
  platform::OsError missingFolders(const std::string& folder, std::vector<std::string>& missing) {
    return backup_.missingFolders(folder, missing);
  }
  platform::OsError make(const std::vector<platform::NamedFile>& files, std::size_t& made) override;
  void takeBack(int64_t tag) override;
  // The backup of file `tag`, handed over once (nothing when it has none).
  bool takeMade(int64_t tag, BackupCopy& out);

 private:
  platform::SourceTree destination_;
  platform::DestinationFolder backup_;
  std::string from_;    // the destination, with its separator
  std::string folder_;  // the backup folder, with its separator
  const std::vector<platform::NamedFile>* making_ = nullptr;
  std::size_t completed_ = 0;
  std::unordered_map<int64_t, BackupCopy> made_;
};

}  // namespace msifter::engine
