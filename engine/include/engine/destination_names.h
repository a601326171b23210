// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names a preview plans against: what the destination folder held at
// one listing, and what the preview has planned for it since. A name costs
// a probe of a table of hashes, not a failing look-up in the folder.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/directory.h"
#include "platform/os_error.h"

namespace msifter::engine {

// A set of 64-bit hashes in one array, open addressing: eight bytes a name
// where a set of strings costs a hundred.
class NameHashes {
 public:
  bool contains(uint64_t hash) const;
  // False when it was there already.
  bool insert(uint64_t hash);
  std::size_t size() const { return count_; }

 private:
  void grow();

  std::vector<uint64_t> slots_;  // 0: empty
  std::size_t count_ = 0;
};

class DestinationNames {
 public:
  // Lists `folder` once. A folder that cannot be listed has each name
  // looked at instead.
  void open(const std::string& folder);
  // Takes `name` for a planned file, so that no later file of the preview
  // takes it; false when something is at it already. A name of the
  // listing is confirmed by a look (it may have gone since); a planned one
  // is taken as planned. A name may lead into folders below the
  // destination ("2024/05/01/x.jpg"): each such folder is listed once,
  // reached beneath the destination without a link; one that is not there
  // holds nothing.
  bool claim(const std::string& name);
  // Whether something is at `name`, or a planned file has taken it.
  bool taken(const std::string& name);

 private:
  bool there(const std::string& name, uint64_t hash);
  // The names a folder below the destination had when first asked; its
  // descriptor is not kept, as a run over years of photos meets thousands.
  struct Below {
    NameHashes listed;
    bool lookAtEach = false;
  };
  const Below& below(const std::string& folder);

  platform::Directory folder_;
  std::string path_;
  NameHashes listed_;
  NameHashes planned_;
  bool lookAtEach_ = false;
  std::unordered_map<std::string, Below> below_;
};

}  // namespace msifter::engine
