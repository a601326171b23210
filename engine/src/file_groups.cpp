// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/file_groups.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "common/case_mapping.h"

namespace msifter::engine {

namespace {

// Photos (RAW and developed), films and sidecars, lower case.
constexpr std::string_view kGroupExtensions[] = {
    "jpg", "jpeg", "heic", "heif", "hif", "avif", "jxl", "png", "tif", "tiff", "webp",
    "dng", "cr2",  "cr3",  "crw",  "nef", "nrw",  "arw", "srf", "sr2", "orf",  "rw2",
    "raf", "pef",  "srw",  "x3f",  "3fr", "iiq",  "rwl", "mrw", "erf", "kdc",  "dcr",
    "mov", "mp4",  "m4v",  "avi",  "mts", "m2ts", "3gp", "xmp", "thm", "aae"};

bool knownExtension(std::string_view ext) {
  if (ext.empty() || ext.size() > 4) return false;
  char lower[4];
  for (std::size_t i = 0; i < ext.size(); ++i) {
    const char c = ext[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const std::string_view folded(lower, ext.size());
  return std::find(std::begin(kGroupExtensions), std::end(kGroupExtensions), folded) !=
         std::end(kGroupExtensions);
}

}  // namespace

std::string_view groupBase(std::string_view name) {
  // From the last dot towards the first, while every piece after it is known.
  std::size_t end = name.size();
  std::size_t base = std::string_view::npos;
  while (end > 0) {
    const std::size_t dot = name.rfind('.', end - 1);
    if (dot == std::string_view::npos || dot == 0) break;
    if (!knownExtension(name.substr(dot + 1, end - dot - 1))) break;
    base = dot;
    end = dot;
  }
  return base == std::string_view::npos ? std::string_view() : name.substr(0, base);
}

FileGroups::FileGroups(const std::vector<std::string>& sources) {
  // Keyed by the folder's number and the base without case: folders are
  // few, bases short.
  std::unordered_map<std::string_view, uint32_t> folders;
  std::unordered_map<std::string, std::vector<uint32_t>> byKey;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string_view path = sources[i];
    const std::size_t slash = path.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const std::string_view base =
        groupBase(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (base.empty()) continue;
    const uint32_t number =
        folders.emplace(folder, static_cast<uint32_t>(folders.size())).first->second;
    std::string key = std::to_string(number);
    key += '/';
    key += common::lowerCase(std::string(base));
    byKey[std::move(key)].push_back(static_cast<uint32_t>(i));
  }
  for (auto& [key, places] : byKey) {
    if (places.size() < 2) continue;
    if (groupOf_.empty()) groupOf_.assign(sources.size(), -1);
    for (const uint32_t place : places) groupOf_[place] = static_cast<int32_t>(members_.size());
    members_.push_back(std::move(places));
  }
}

std::span<const uint32_t> FileGroups::membersOf(std::size_t index) const {
  const int32_t group = groupOf(index);
  if (group < 0) return {};
  return members_[static_cast<std::size_t>(group)];
}

int32_t FileGroups::groupOf(std::size_t index) const {
  return index < groupOf_.size() ? groupOf_[index] : -1;
}

}  // namespace msifter::engine
