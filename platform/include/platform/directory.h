#pragma once
// Folder enumeration, file lengths and entry look-ups.
//
// Names and paths are the file system's raw bytes. Every function reports an
// OS failure as an OsError; callers decide whether it is an error. The calls
// go through syscalls(), so tests can make any of them fail.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace msifter::platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;
};

// One open folder. Kept open while its files are sized, closed before the
// caller descends, so only one enumeration is open at a time.
class Directory {
 public:
  Directory() = default;
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // `folder` may end with a separator.
  OsError open(const std::string& folder);
  bool isOpen() const { return stream_ != nullptr; }
  // Every entry except "." and "..", hidden ones included, in the order the
  // file system gives them (which is no order to rely on). Symbolic links to
  // folders are left out: they are neither files nor folders to descend (a
  // link back up the tree would never end). Pipes, sockets, devices (and
  // links to them) and transfer temporaries are left out too.
  OsError read(std::vector<DirEntry>& entries);
  // Length in bytes of the entry `name` of this folder; a symbolic link
  // gives its target's length, or its own when the target cannot be reached.
  OsError fileSize(const std::string& name, int64_t& size) const;
  void close();

 private:
  void* stream_ = nullptr;  // DIR*
};

// True when `path` names an existing entry (file, folder or link).
bool entryExists(const std::string& path);

}  // namespace msifter::platform
