// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dry run's plan, one file at a time as the search finds it: what the run
// would do with each file, named by the run's own planner. Nothing is kept
// per file but the hash of its new name, so a preview of a million files
// needs no list of them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/destination_names.h"
#include "engine/identical_files.h"
#include "engine/mover.h"
#include "engine/name_planner.h"
#include "engine/transfer_options.h"

namespace msifter::engine {

class GroupLookups;

class Preview {
 public:
  // Lists the destination once (and, with skip-identical, opens its
  // look-up, throwing RuntimeFailure when it cannot). Serial numbers start
  // at extras.serialNumber's, which is left as it is.
  Preview(const TransferOptions& options, const MoveExtras& extras);
  ~Preview();

  // What the run would do with `source`, whose length the search found (-1
  // when not known). A name taken in the destination or earlier in the plan
  // takes the next number; a file without a free name, or whose name cannot
  // be made short enough, ends the plan as it ends the run. May throw
  // RuntimeFailure.
  PlannedFile plan(const std::string& source, int64_t size);
  // A photo and its companions (extras.groups) are planned together, which
  // takes the whole list: `sources` outlives the preview, `knownSize` gives
  // the length the search found for a place (-1 when not known), and each
  // file is then planned by its place.
  void useGroups(const std::vector<std::string>& sources,
                 std::function<int64_t(std::size_t)> knownSize);
  PlannedFile plan(std::size_t index);
  // A file has ended the plan: later files are not planned.
  bool ended() const { return ended_; }

 private:
  std::string identicalTo(const std::string& source, int64_t& size);
  PlannedFile planned(const std::string& source, int64_t size, std::size_t index);
  bool folderRefused(const std::string& name, std::string& folder);

  const MoveExtras& extras_;
  const std::string destination_;
  const std::string folder_;
  int32_t serialNumber_;
  NamePlanner planner_;
  DestinationNames names_;
  IdenticalFiles identical_;
  std::unordered_map<std::string, std::string> plannedFrom_;  // source: its new name
  std::unordered_set<std::string> lookedFolders_;             // below the destination
  const std::vector<std::string>* sources_ = nullptr;
  std::unique_ptr<GroupLookups> lookups_;
  bool ended_ = false;
};

}  // namespace msifter::engine
