// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The identical files of a run's sources, a group's together (a photo and
// its companions, file_groups.h): a sidecar that comes before its photo in
// the list (IMG_0001.AAE) knows already whether its photos stay, and stays
// with them. The run and the preview look alike through it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/file_groups.h"

namespace msifter::engine {

class GroupLookups {
 public:
  // The full path of a file with the bytes of `source`, "" for none; its
  // length in `size`, the search's `known` one unless that is -1.
  using Find = std::function<std::string(const std::string& source, int64_t known, int64_t& size)>;
  // The length the search found for source `i`, or -1.
  using KnownSize = std::function<int64_t(std::size_t i)>;

  // `sources` and `groups` outlive this.
  GroupLookups(const std::vector<std::string>& sources, const FileGroups& groups, Find find,
               KnownSize known)
      : sources_(sources), groups_(groups), find_(std::move(find)), known_(std::move(known)) {}

  // The full path of a file with the bytes of source `i`, or "" (its
  // length in `size`, -1 when not known). `withPhoto`: `i` is a sidecar,
  // left with the photos of its group, which are all skipped; the path is
  // the first photo's identical file.
  std::string find(std::size_t i, int64_t& size, bool& withPhoto);

 private:
  struct GroupLook {
    std::unordered_map<uint32_t, std::pair<std::string, int64_t>> photos;  // place: identical, size
    std::string firstSame;  // the first photo's identical file, when all are skipped
  };
  const GroupLook& look(int32_t group);

  const std::vector<std::string>& sources_;
  const FileGroups& groups_;
  Find find_;
  KnownSize known_;
  std::unordered_map<int32_t, GroupLook> looked_;
};

}  // namespace msifter::engine
