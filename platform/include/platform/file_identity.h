#pragma once
// What tells a file or folder apart from every other, and from what it was:
// device, inode, length, modification and change time. A file that still
// has all five is taken for unchanged; any write, truncation or replacement
// shows in one of them.
#include <cstdint>

namespace msifter::platform {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;
  int64_t changedSeconds = 0;
  int64_t changedNanoseconds = 0;

  bool operator==(const FileIdentity&) const = default;
  // The same file, whatever happened to it since.
  bool sameFile(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};

}  // namespace msifter::platform
