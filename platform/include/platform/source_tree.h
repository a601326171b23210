// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders reached beneath a folder that a run was given, never through a
// link below it: a folder of the tree swapped for a link (to another folder
// of the tree, or to one outside it) is refused, not followed. The folder
// given is taken as the user named it: a source given as a link to a folder
// is that folder.
#include <memory>
#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

// Opens the folder `relative` ("a/b/c"; "" for the base itself) beneath the
// folder open at `baseFd`, following no link on the way: ELOOP when one of
// its folders is a link, EXDEV for a path that would leave the base
// (absolute, or through ".."), ENOTDIR where something else is in the way.
OsError openFolderBeneath(int baseFd, std::string_view relative, UniqueFd& folder);

// Whether the folders of `relative` that exist beneath the folder `root` are
// reached without a link: as openFolderBeneath, but a folder that is missing
// ends the walk as a success (what is missing holds no link and may be made
// again). For paths read back from a record rather than found by a search.
OsError checkFoldersBeneath(const std::string& root, std::string_view relative);

// A folder of a source tree, open for as long as a file of it is being
// transferred. Files of one folder, which a search lists one after another,
// share it.
class SourceFolder {
 public:
  SourceFolder(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  int fd() const { return fd_.get(); }
  // As the files' paths name it, with their separator ("" for a bare name).
  const std::string& path() const { return path_; }

 private:
  UniqueFd fd_;
  std::string path_;
};

// A file of a source tree: its folder, open, and its name there. Every
// touch of the file goes through the folder by that name.
struct SourceFile {
  std::shared_ptr<const SourceFolder> folder;
  std::string name;  // in the folder
  int at() const { return folder->fd(); }
  // As listed, for what is said and recorded.
  std::string path() const { return folder->path() + name; }
};

// The source folder of a run, opened once; the folders of the files that
// the search listed are opened beneath it.
class SourceTree {
 public:
  OsError open(const std::string& root);
  bool isOpen() const { return root_.valid(); }
  // The folder that holds `file`, a path as the search listed it: the root
  // as given to open(), a separator where it had none, the path beneath.
  // EXDEV for a path that is not below the root.
  OsError openFolderOf(const std::string& file, UniqueFd& folder) const;
  // `file` through its folder, opened as openFolderOf opens it. The folder
  // reached last stays open for the next file of it. A tree that was never
  // opened reaches each file through its folder as its path names it: for
  // a single file given on its own, not for the files of a search.
  OsError reach(const std::string& file, SourceFile& out);
  // As openFolderOf, making the folders that are missing on the way (with
  // `mode`), each beneath the last and never through a link.
  OsError makeFolderOf(const std::string& file, unsigned mode, UniqueFd& folder) const;

 private:
  OsError beneath(const std::string& file, std::string_view& relative) const;

  UniqueFd root_;
  std::string prefix_;  // the root with a trailing separator
  std::shared_ptr<const SourceFolder> last_;
};

}  // namespace msifter::platform
