// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/destination_names.h"

#include <cerrno>
#include <functional>

namespace msifter::engine {

namespace {

// The empty slot's value is never a name's.
uint64_t nameHash(std::string_view name) {
  const uint64_t hash = std::hash<std::string_view>{}(name);
  return hash == 0 ? 1 : hash;
}

}  // namespace

bool NameHashes::contains(uint64_t hash) const {
  if (slots_.empty()) return false;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i] == hash) return true;
    if (slots_[i] == 0) return false;
  }
}

bool NameHashes::insert(uint64_t hash) {
  // At most half full, so a miss ends after a few probes.
  if ((count_ + 1) * 2 > slots_.size()) grow();
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i] == hash) return false;
    if (slots_[i] == 0) {
      slots_[i] = hash;
      ++count_;
      return true;
    }
  }
}

void NameHashes::grow() {
  std::vector<uint64_t> old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
  old.swap(slots_);
  count_ = 0;
  for (const uint64_t hash : old) {
    if (hash != 0) insert(hash);
  }
}

void DestinationNames::open(const std::string& folder) {
  path_ = folder;
  lookAtEach_ = true;
  if (folder_.open(folder)) return;
  lookAtEach_ = static_cast<bool>(
      folder_.eachName([this](std::string_view name) { listed_.insert(nameHash(name)); }));
}

const DestinationNames::Below& DestinationNames::below(const std::string& folder) {
  auto [known, first] = below_.try_emplace(folder);
  if (!first) return known->second;
  Below& listing = known->second;
  platform::Directory opened;
  if (!folder_.isOpen()) {
    listing.lookAtEach = true;
  } else if (const platform::OsError e = opened.openBeneath(folder_, folder)) {
    // Missing, it holds nothing; a link or a file in its place is refused
    // by the plan.
    listing.lookAtEach = e.code() != ENOENT && e.code() != ELOOP && e.code() != ENOTDIR;
  } else {
    listing.lookAtEach = static_cast<bool>(opened.eachName(
        [&listing](std::string_view name) { listing.listed.insert(nameHash(name)); }));
  }
  return listing;
}

bool DestinationNames::there(const std::string& name, uint64_t hash) {
  if (const auto slash = name.rfind('/'); slash != std::string::npos) {
    const Below& listing = below(name.substr(0, slash));
    return (listing.lookAtEach ||
            listing.listed.contains(nameHash(std::string_view(name).substr(slash + 1)))) &&
           platform::entryExists(path_ + "/" + name);
  }
  if (lookAtEach_)
    return folder_.isOpen() ? folder_.hasEntry(name) : platform::entryExists(path_ + "/" + name);
  return listed_.contains(hash) && folder_.hasEntry(name);
}

bool DestinationNames::claim(const std::string& name) {
  const uint64_t hash = nameHash(name);
  // Names planned here carry the run's own prefixes: a hash met again is
  // the same name.
  return !there(name, hash) && planned_.insert(hash);
}

bool DestinationNames::taken(const std::string& name) {
  const uint64_t hash = nameHash(name);
  return planned_.contains(hash) || there(name, hash);
}

}  // namespace msifter::engine
