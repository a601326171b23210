// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A photo and its companions: the files of one source folder whose names
// share a base, the part before the first dot after which only extensions
// of photos, films and sidecars follow (IMG_0001.CR2, IMG_0001.JPG,
// IMG_0001.XMP, IMG_0001.CR2.xmp), the base compared without case. Such a
// group takes one capture time and one prefix, and goes to one folder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace msifter::engine {

// The base a file groups by ("IMG_0001" of "IMG_0001.CR2.xmp"), as named;
// "" for a name with no known extension after any of its dots.
std::string_view groupBase(std::string_view name);

class FileGroups {
 public:
  FileGroups() = default;
  // The groups of two files or more among `sources`, whatever their
  // places in the list.
  explicit FileGroups(const std::vector<std::string>& sources);

  // The places of the members of source `index`'s group, in list order;
  // empty for a file on its own.
  std::span<const uint32_t> membersOf(std::size_t index) const;
  // The group of source `index`, or -1.
  int32_t groupOf(std::size_t index) const;
  // The places of the members of group `group` (a groupOf() value), in list order.
  std::span<const uint32_t> members(int32_t group) const {
    return members_[static_cast<std::size_t>(group)];
  }
  std::size_t size() const { return members_.size(); }

 private:
  std::vector<int32_t> groupOf_;  // by place in the list; empty: no groups at all
  std::vector<std::vector<uint32_t>> members_;
};

}  // namespace msifter::engine
