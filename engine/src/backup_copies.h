// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The backup folder of a run (--backup): every file also goes there, under
// the same name, staged and named after a flush as the destination's
// copies are. A copy is taken from the new file in the destination once
// that is on disk; for a rename within one file system, whose source name
// goes at the very moment its new name comes, it is taken from the source
// ahead of the rename instead, so that no source name goes before its
// backup is on disk. A name taken there is never replaced: that file
// fails, and the run ends at it as it ends at a destination that fails.
#include <cstdint>
#include <string>
#include <string_view>
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

  // A file to be renamed into the destination, copied ahead from its source
  // (reached beneath `sources`, which must outlive this) to the name it is
  // planned to take there.
  struct Ahead {
    std::string_view source;
    std::string_view name;
    int64_t tag = -1;
  };
  // Makes the copies of `files` in their order and puts them on disk;
  // `made` says how many have theirs, the failure is the next one's. A copy
  // made ahead serves its file in make() while the file took the planned
  // name and is still what was copied; else it goes and another is made.
  platform::OsError makeAhead(platform::SourceTree& sources, const std::vector<Ahead>& files,
                              std::size_t& made);

  platform::OsError make(const std::vector<platform::NamedFile>& files, std::size_t& made) override;
  void takeBack(int64_t tag) override;
  // The backup of file `tag`, handed over once (nothing when it has none).
  bool takeMade(int64_t tag, BackupCopy& out);

 private:
  // A copy on disk: where it is, and the file it was copied from as it was.
  struct Made {
    BackupCopy copy;
    std::string name;  // below the backup folder
    int64_t size = 0;
    struct timespec modified {};
  };
  // Copies each of `names` (below the folder) from its `from` path, tags
  // them by their place; they land in `into` once on disk.
  platform::OsError copyAll(const std::vector<std::string_view>& from,
                            const std::vector<std::string_view>& names,
                            const std::vector<int64_t>& tags,
                            std::unordered_map<int64_t, Made>& into);
  // The new file `name` is still the one `made` was copied from.
  bool stillCopied(const std::string& name, const Made& made);
  // Removes a copy of the run's own while it is the very file made.
  void remove(const BackupCopy& copy);

  platform::SourceTree destination_;
  platform::SourceTree backupTree_;  // the backup folder: its copies reached to be removed
  platform::DestinationFolder backup_;
  std::string from_;    // the destination, with its separator
  std::string folder_;  // the backup folder, with its separator
  // While copyAll() runs: each copy's tag by its place, and where it lands.
  const std::vector<int64_t>* tags_ = nullptr;
  const std::vector<std::string_view>* names_ = nullptr;
  std::unordered_map<int64_t, Made>* into_ = nullptr;
  std::unordered_map<int64_t, Made> ahead_;  // made ahead, not handed to make() yet
  std::unordered_map<int64_t, BackupCopy> made_;
};

}  // namespace msifter::engine
