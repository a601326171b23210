// SPDX-License-Identifier: GPL-3.0-or-later
#include "group_lookups.h"

#include "engine/identical_files.h"

namespace msifter::engine {

std::string GroupLookups::find(std::size_t i, int64_t& size, bool& withPhoto) {
  withPhoto = false;
  const int32_t group = groups_.groupOf(i);
  if (group < 0) return find_(sources_[i], known_(i), size);
  const GroupLook& seen = look(group);
  const auto photo = seen.photos.find(static_cast<uint32_t>(i));
  if (photo != seen.photos.end()) {
    size = photo->second.second;
    return photo->second.first;
  }
  // A sidecar: never skipped on its own.
  if (!seen.firstSame.empty()) {
    withPhoto = true;
    size = known_(i);
    return seen.firstSame;
  }
  return find_(sources_[i], known_(i), size);
}

const GroupLookups::GroupLook& GroupLookups::look(int32_t group) {
  if (const auto known = looked_.find(group); known != looked_.end()) return known->second;
  GroupLook seen;
  bool allSkipped = true;
  for (const uint32_t place : groups_.members(group)) {
    const std::string& member = sources_[place];
    if (isSidecar(member)) continue;
    int64_t size = -1;
    std::string same = find_(member, known_(place), size);
    allSkipped = allSkipped && !same.empty();
    if (seen.firstSame.empty()) seen.firstSame = same;
    seen.photos.emplace(place, std::make_pair(std::move(same), size));
  }
  if (!allSkipped || seen.photos.empty()) seen.firstSame.clear();
  return looked_.emplace(group, std::move(seen)).first->second;
}

}  // namespace msifter::engine
