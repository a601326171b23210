#pragma once
// Folders reached beneath a folder that a run was given, never through a
// link below it: a folder of the tree swapped for a link (to another folder
// of the tree, or to one outside it) is refused, not followed. The folder
// given is taken as the user named it: a source given as a link to a folder
// is that folder.
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

 private:
  UniqueFd root_;
  std::string prefix_;  // the root with a trailing separator
};

}  // namespace msifter::platform
