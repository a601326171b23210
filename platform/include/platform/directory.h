// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folder enumeration, file lengths and entry look-ups.
//
// Names and paths are the file system's raw bytes. Every function reports an
// OS failure as an OsError; callers decide whether it is an error. The calls
// go through syscalls(), so tests can make any of them fail.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"
#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

// The longest path, in bytes, that a call of the system takes (PATH_MAX less
// its terminating NUL). A file further down can be listed through folder
// descriptors but never opened, moved or copied by its path.
constexpr std::size_t kLongestPath = 4095;

struct DirEntry {
  std::string name;
  bool isDirectory = false;
  bool isLink = false;  // a link to a file (links to folders are not listed)
};

// An entry of a folder with its identity, as a look without following a
// link gives it.
struct FolderEntry {
  enum class Kind { File, Folder };
  std::string name;
  Kind kind = Kind::File;
  FileIdentity identity;
};

// One open folder, and the one way the program lists a folder. Its
// descriptor stays open until close(), so that its subfolders can be opened
// beneath it; each listing reads it through a stream of its own.
class Directory {
 public:
  // `folder` may end with a separator. Links in the path are followed: a
  // folder named through a link is that folder.
  OsError open(const std::string& folder);
  // `relative` under the folder open at `folderFd`, links followed as
  // above; with LastLink::Refuse, ENOTDIR or ELOOP where its last
  // component is a link.
  OsError open(int folderFd, const std::string& relative, LastLink link = LastLink::Follow);
  // The subfolder `name` of `parent`, never through a link: ELOOP when
  // `name` is a link now (to a folder or anything else), ENOTDIR when it is
  // no folder.
  OsError openChild(const Directory& parent, const std::string& name);
  // The folder `relative` ("a/b/c") beneath `base`, no link followed on the
  // way; errors as openFolderBeneath (source_tree.h).
  OsError openBeneath(const Directory& base, std::string_view relative);
  bool isOpen() const { return fd_.valid(); }
  // Every entry except "." and "..", hidden ones included, in the order the
  // file system gives them (which is no order to rely on). Symbolic links to
  // folders are left out: they are neither files nor folders to descend (a
  // link back up the tree would never end). Pipes, sockets, devices (and
  // links to them) and transfer temporaries are left out too.
  OsError read(std::vector<DirEntry>& entries);
  // The regular files and folders in it, each as it is itself: a link is
  // neither, and nor is a transfer temporary. An entry that vanishes while
  // the folder is read is left out.
  OsError readLooked(std::vector<FolderEntry>& entries) const;
  // The name of every entry except "." and "..", whatever it is.
  OsError names(std::vector<std::string>& names) const;
  // The same, one name at a time: a folder of a million names is never
  // held whole.
  OsError eachName(const std::function<void(std::string_view)>& visit) const;
  // Whether the folder has an entry `name`, whatever it is (a link as
  // itself).
  bool hasEntry(const std::string& name) const;
  // Whether it has any entry but "." and "..": reads no further than the
  // first.
  OsError hasEntries(bool& any) const;
  // Length in bytes of the entry `name` of this folder; a symbolic link
  // gives its target's length, or its own when the target cannot be reached.
  OsError fileSize(const std::string& name, int64_t& size) const;
  // The same look, all it tells: a link's target, or the link itself.
  OsError fileIdentity(const std::string& name, FileIdentity& identity) const;
  // The identity of the open folder itself (compare with sameFile(): a
  // folder's times change as its entries do).
  OsError identity(FileIdentity& identity) const;
  void close();

 private:
  UniqueFd fd_;
};

// True when `path` names an existing entry (file, folder or link).
bool entryExists(const std::string& path);

}  // namespace msifter::platform
