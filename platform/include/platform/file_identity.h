// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What tells a file apart from the file it was: device, inode, length,
// modification and change time. A file that still has all of them is taken
// for unchanged; any write, truncation or replacement shows in one of them.
#include <cstdint>
#include <string>

#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

struct FileIdentity {
  enum class Kind { File, Folder, Link, Other };

  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  int64_t changedSeconds = 0;
  int64_t changedNanoseconds = 0;
  // Not compared: a file cannot change its kind and keep its inode.
  Kind kind = Kind::File;

  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds &&
           changedSeconds == o.changedSeconds && changedNanoseconds == o.changedNanoseconds;
  }
  // The same file or folder, whatever happened to it since.
  bool sameFile(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
  bool isFile() const { return kind == Kind::File; }
  bool isFolder() const { return kind == Kind::Folder; }
  bool isLink() const { return kind == Kind::Link; }
};

// Whether the last component of a path may be a link to the file.
enum class LastLink { Follow, Refuse };

// What `path` leads to (links followed).
OsError identityOf(const std::string& path, FileIdentity& identity);
// With LastLink::Refuse a link at `path` is looked at itself (Kind::Link).
OsError identityOf(const std::string& path, LastLink link, FileIdentity& identity);

// Opens `folder` (links followed) only to look at its entries by name: a
// look from it costs one step where a whole path's costs one per folder.
OsError openFolderForLooks(const std::string& folder, UniqueFd& looks);
// The entry `name` of the folder open at `folderFd`, whatever it is.
OsError lookAt(int folderFd, const std::string& name, LastLink link, FileIdentity& identity);

}  // namespace msifter::platform
