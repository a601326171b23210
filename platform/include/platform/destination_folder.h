// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The destination folder of a transfer run, opened once for the whole run.
//
// Every file is created relative to the open folder, never by its path, and
// before a batch is made durable the path is checked to still name that
// folder: a destination that is renamed, removed, unmounted or replaced by
// a link while the run lasts is never re-created or followed; the batch's
// files are taken back and the batch fails.
//
// No file appears under a final name before it is whole and on disk: a
// copy is written into an unnamed file (O_TMPFILE) and linked to its name
// once a flush of its batch (below) has made its contents durable.
// Where the file system has no unnamed files, a named temporary
// (isTransferTemporary) is used instead; its owner keeps it locked, and a
// later run removes it once the owner is gone, knowing it for ours by the
// check its name carries. Where a flush of the folder reaches no disk
// (FUSE), each file is flushed before and after it gets its name.
//
// A move between file systems removes its source only after the copy is on
// disk under its name and the source's name still names the very file that
// was copied. Copies and such moves go in batches, one flush of the
// destination (syncfs) each: a batch's copies are flushed, then given their
// names; the next flush makes those names durable, and only then are the
// batch's sources removed; a flush of their folders makes the removals
// durable.
//
// A file counts as transferred (onTransferred) only once all of that is on
// disk: a rename within one file system after a flush of the folders it
// touched (once per batch), a copy once its name is durable, a move between
// file systems once its source's removal is. A failure ends the batch at
// that file: the files after it in the batch are taken back (a rename is
// undone, a copy removed), so that a run stopped there leaves every later
// file where it was.
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os_error.h"
#include "platform/source_tree.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

// A name that looks like a transfer's temporary: never listed or sorted,
// so never half a copy. Only one whose name carries our check is ever
// removed; a user's look-alike stays where it is.
bool isTransferTemporary(std::string_view name);

// One file whose transfer is complete and durable as far as its kind goes:
// a move within one file system once its rename is flushed, a copy once its
// name is, a move between file systems once its source's removal is.
// Its texts are valid during the call it is told in.
struct TransferredFile {
  bool copied = false;  // false: moved
  std::string_view source;
  std::string_view name;  // in the destination folder
  int64_t size = 0;
  struct timespec modified {};
  uint64_t device = 0;  // of the new file
  uint64_t inode = 0;
  int64_t tag = -1;  // as given by tagNext()
};

// When a batch is settled: whichever bound is reached first.
// A file of the batch whose new name is on disk.
struct NamedFile {
  std::string_view name;  // in the folder
  int64_t tag = -1;       // as given by tagNext()
};

// A second place every file goes (a backup folder). A file is complete, and
// a moved file's source removed, only once its second copy is on disk too.
class SecondCopies {
 public:
  virtual ~SecondCopies() = default;
  // Makes the second copies of `files` in their order and puts them on
  // disk; `made` says how many have theirs, the failure is the next one's.
  virtual OsError make(const std::vector<NamedFile>& files, std::size_t& made) = 0;
  // File `tag` was taken back after its second copy was made: that goes too.
  virtual void takeBack(int64_t tag) = 0;
};

struct BatchLimits {
  std::size_t files = 8192;  // copied (each holds a descriptor until it is named)
  uint64_t bytes = 1u << 30;
  int64_t milliseconds = 5000;
  std::size_t renames = 32768;  // within one file system (cheap to hold, quick to do)
};

class DestinationFolder {
 public:
  // The next name to try in the folder; asked again while names are taken.
  // An empty name gives up: the file fails as a taken name (EEXIST).
  using NameSource = std::function<std::string()>;
  using Completion = std::function<void(const TransferredFile&)>;
  // A file (known by its tag) has its final name in the folder, not on disk yet.
  using Naming = std::function<void(int64_t tag, const std::string& name)>;

  DestinationFolder();
  // Copies not settled yet are dropped; their sources stay. Renames and
  // removed sources stay as they are, not reported.
  ~DestinationFolder();
  DestinationFolder(const DestinationFolder&) = delete;
  DestinationFolder& operator=(const DestinationFolder&) = delete;

  // Opens `folder` and removes temporaries that earlier runs left there.
  OsError open(const std::string& folder);
  // The same with the folder opened already (beneath a tree, say); `folder`
  // is its path.
  OsError open(UniqueFd opened, const std::string& folder);
  // Sources are reached through their folders beneath `tree`, which must
  // outlive this folder: a source whose folder is a link by its turn fails
  // (ELOOP), and one outside the tree too (EXDEV). Without a tree each
  // source is reached through its folder as its path names it.
  void takeSourcesFrom(SourceTree& tree);
  void setBatchLimits(const BatchLimits& limits);
  // Called once for every file whose transfer is complete; must not throw.
  void onTransferred(Completion completion);
  void onNamed(Naming naming);
  // Every file also goes to `copies` (which must outlive this folder) once
  // its new name is on disk, before anything else happens to it.
  void keepSecondCopies(SecondCopies* copies);
  // copy() takes a link as the link itself, never what it leads to.
  void copyLinksAsLinks();

  // A file (or a link, as the link itself) moved into the folder. Within one
  // file system it is renamed at once; between file systems it is copied.
  // Either way it joins the open batch, which is settled when full. A
  // folder is never moved. A failure of the batch's settling is this call's
  // failure (lastFailure() names the file).
  OsError move(const std::string& from, const NameSource& names);
  // A file (a link is followed; a link that leads nowhere is copied as the
  // link itself) copied into the folder; it joins the open batch, which is
  // settled when full. The source is never touched.
  OsError copy(const std::string& from, const NameSource& names);
  // The next file handed over (move, copy) is reported with `tag`.
  void tagNext(int64_t tag);
  // Something has `name` in the folder: looked up among the names the
  // folder had at the first call (one listing), confirmed by a look.
  // A name may lead into folders below this one ("2024/05/01/x.jpg"), as
  // may every name given to move() and copy(): those folders are reached
  // beneath this one, level by level, never through a link.
  bool taken(const std::string& name);
  // The levels of `folder` ("2024/05/01", below this folder) that are
  // missing, top first ("2024/05", "2024/05/01"); ELOOP or ENOTDIR where a
  // level is a link or something else than a folder.
  OsError missingFolders(const std::string& folder, std::vector<std::string>& missing);
  // Makes the missing levels of `folder`; errors as missingFolders().
  OsError makeFolders(const std::string& folder);
  // Settles every file still in the batch: flushed, named, flushed again,
  // sources removed, flushed. The first failure is the result.
  OsError settle();
  // The file the last failure stopped at; "" when the folder itself failed
  // (its flush, or the folder gone).
  const std::string& failedSource() const;
  // The file it stopped at left its copy in the folder: its source was
  // rewritten, or went elsewhere, after it was copied.
  bool failureKeptCopy() const;
  // It was the file's second copy that failed.
  bool failedInSecondCopy() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The one name given, then none: a taken name is refused, not replaced.
DestinationFolder::NameSource onlyName(const std::string& name);

}  // namespace msifter::platform
