#pragma once
// Folder enumeration, file lengths and entry look-ups.
//
// Names and paths are the file system's raw bytes. Every function reports an
// OS failure as an errno value; callers decide whether it is an error. The
// calls go through syscalls(), so tests can make any of them fail.
#include <cstdint>
#include <string>
#include <vector>

namespace msifter::platform {

struct DirEntry {
  std::string name;
  bool isDirectory = false;
};

// The order in which a folder's entries are delivered: ordinal order of the
// upper-cased names (common::upperCase, as NTFS keeps them), ties broken by
// the raw bytes so the order is the same on every run.
bool entryNameLess(const std::string& a, const std::string& b);

// One open folder. Kept open while its files are sized, closed before the
// caller descends, so only one enumeration is open at a time.
class Directory {
 public:
  Directory() = default;
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // `folder` may end with a separator. Returns 0 or the errno of the failure.
  int open(const std::string& folder);
  bool isOpen() const { return stream_ != nullptr; }
  // Every entry except "." and "..", hidden ones included, in entryNameLess
  // order. Symbolic links to folders are left out: they are neither files
  // nor folders to descend (a link back up the tree would never end). Pipes,
  // sockets, devices (and links to them) and transfer temporaries are left
  // out too.
  // Returns 0 or the errno of the failure.
  int read(std::vector<DirEntry>& entries);
  // Length in bytes of the entry `name` of this folder; a symbolic link
  // gives its target's length, or its own when the target cannot be reached.
  // Returns 0 or the errno of the failure.
  int fileSize(const std::string& name, int64_t& size) const;
  void close();

 private:
  void* stream_ = nullptr;  // DIR*
};

// True when `path` names an existing entry (file, folder or link).
bool entryExists(const std::string& path);

}  // namespace msifter::platform
