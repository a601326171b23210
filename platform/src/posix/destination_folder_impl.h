// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of an open destination folder and its batch: what the public
// class in platform/destination_folder.h hands every call to. System types
// stay here, out of the headers the engine includes.
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/source_tree.h"
#include "platform/syscalls.h"

namespace msifter::platform {

class DestinationFolder::Impl {
 public:
  // The next name to try in the folder; asked again while names are taken.
  // An empty name gives up: the file fails as a taken name (EEXIST).
  using NameSource = DestinationFolder::NameSource;
  using Completion = DestinationFolder::Completion;
  // A file (known by its tag) has its final name in the folder, not on disk yet.
  using Naming = DestinationFolder::Naming;

  Impl();
  // Copies not settled yet are dropped; their sources stay. Renames and
  // removed sources stay as they are, not reported.
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Opens `folder` and removes temporaries that earlier runs left there.
  OsError open(const std::string& folder);
  // The same with the folder opened already (beneath a tree, say); `folder`
  // is its path.
  OsError open(UniqueFd opened, const std::string& folder);
  // Sources are reached through their folders beneath `tree`, which must
  // outlive this folder: a source whose folder is a link by its turn fails
  // (ELOOP), and one outside the tree too (EXDEV). Without a tree each
  // source is reached through its folder as its path names it.
  void takeSourcesFrom(SourceTree& tree) { sources_ = &tree; }
  void setBatchLimits(const BatchLimits& limits) { limits_ = limits; }
  // Called once for every file whose transfer is complete; must not throw.
  void onTransferred(Completion completion) { completion_ = std::move(completion); }
  void onNamed(Naming naming) { naming_ = std::move(naming); }
  // Every file also goes to `copies` (which must outlive this folder) once
  // its new name is on disk, before anything else happens to it.
  void keepSecondCopies(SecondCopies* copies) { second_ = copies; }
  // copy() takes a link as the link itself, never what it leads to.
  void copyLinksAsLinks() { linksAsLinks_ = true; }

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
  void tagNext(int64_t tag) { nextTag_ = tag; }
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
  const std::string& failedSource() const { return failedSource_; }
  // The file it stopped at left its copy in the folder: its source was
  // rewritten, or went elsewhere, after it was copied.
  bool failureKeptCopy() const { return failureKeptCopy_; }
  // It was the file's second copy that failed.
  bool failedInSecondCopy() const { return failedInSecond_; }

 private:
  struct Staged {
    UniqueFd fd;                    // the new file while it has no final name
    std::string tempName;           // a named temporary's name, "" for an unnamed file
    struct timespec times[2] = {};  // the source's access and modification times
  };
  // Where a file of the batch is; each flush takes it one step on.
  enum class Step {
    Renamed,     // moved within the file system; its rename is to be flushed
    Staged,      // copied, not named; its contents are to be flushed
    Named,       // has its name; the name is to be flushed
    SourceGone,  // moved between file systems; the removal is to be flushed
  };
  struct Pending {
    Step step = Step::Staged;
    bool copy = false;  // false: a move
    SourceFile source;
    struct stat copied {};  // the source as it was listed or copied
    Staged staged;
    std::string name;  // the name to try first, or the final name
    NameSource names;
    // Another name of a source already copied here: linked to that copy
    // instead of copied again, where the folder allows.
    bool linkToCopy = false;
    uint64_t device = 0;  // of the new file
    uint64_t inode = 0;
    // Taken back, its new name stays: the only copy of a source that
    // vanished, or a copy of a source rewritten meanwhile.
    bool keep = false;
    bool secondMade = false;  // its second copy is on disk
    bool done = false;
    int64_t tag = -1;
  };
  // A source with several names copied into this folder, as it was copied.
  struct EarlierCopy {
    std::string name;  // "" until it has one
    off_t size = 0;
    struct timespec modified {};
  };
  using InodeKey = std::pair<dev_t, ino_t>;

  // Where a name of the folder, or of a folder below it, is: the folder's
  // descriptor (-1 when it cannot be reached) and the last part.
  struct At {
    int fd;
    const char* name;
  };
  At at(const std::string& name) const;
  int folderFd(const std::string& folder) const;
  OsError walkFolders(const std::string& folder, bool make, std::vector<std::string>* missing);
  OsError adopt(UniqueFd opened, const std::string& folder);
  OsError checkFolder() const;
  void removeStaleTemporaries();
  OsError stage(int in, const struct stat& source, Staged& out);
  void discard(Staged& staged);
  OsError link(Staged& staged, std::string& name, const NameSource& names);
  bool flushEachFile();
  OsError flushNamed(Staged& staged, const std::string& name);
  OsError firstFreeName(std::string& name, const NameSource& names) const;
  OsError renamed(SourceFile from, std::string name);
  OsError moveAcross(SourceFile from, const struct stat& entry, std::string name,
                     const NameSource& names);
  OsError moveLinkAcross(const struct stat& entry, std::string name, Pending& out);
  OsError copyLink(SourceFile from, std::string name, const NameSource& names);
  OsError makeLink(const SourceFile& from, std::string& name, const NameSource& names);
  OsError stageCopy(int in, Pending& p);
  bool linkToEarlierCopy(Pending& p) const;
  OsError addToBatch(Pending p);
  OsError added();
  void countHeldFolders();
  bool batchFull() const;
  OsError flush();
  OsError makeDurable();
  OsError makeSecondCopies();
  void takeBackSecond(const Pending& p);
  OsError advance(Pending& p, bool earlierOpen);
  OsError giveName(Pending& p);
  OsError linkName(Pending& p);
  OsError removeSource(Pending& p);
  bool unchangedSinceCopy(const struct stat& now, const Pending& p) const;
  void rollBackFrom(std::size_t first);
  void renameBack(const Pending& p);
  void removeCopy(const Pending& p);
  void dropUnsettled();
  void named(const Pending& p);
  void report(const Pending& p);
  OsError failed(OsError error, const std::string& source);

  UniqueFd dir_;
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool unnamedUnsupported_ = false;
  bool renamesInOneCommit_ = false;
  std::optional<bool> flushEachFile_;  // unknown until the first copy
  BatchLimits limits_;
  Completion completion_;
  Naming naming_;
  SecondCopies* second_ = nullptr;
  bool linksAsLinks_ = false;
  std::vector<Pending> batch_;   // in the order the files came
  std::size_t added_ = 0;        // files since the last flush
  std::size_t copied_ = 0;       // of those, files copied
  std::size_t openFiles_ = 0;    // staged files holding a descriptor
  std::size_t heldFolders_ = 0;  // source folders the batch holds open
  const SourceFolder* lastHeld_ = nullptr;
  std::size_t fileBudget_ = 8192;
  uint64_t pendingBytes_ = 0;
  int64_t batchStart_ = 0;
  // Sources with several names: their copy here, so that the next name
  // of one becomes a link to it, as mv does.
  std::map<InodeKey, EarlierCopy> copiesOf_;
  // Files with several names one of which this folder removed: their shared
  // change time moved because of that, not because of a rewrite.
  std::set<InodeKey> unlinkedNamesOf_;
  std::string reported_;  // the source of the file being reported
  std::string failedSource_;
  bool failureKeptCopy_ = false;
  bool failedInSecond_ = false;
  int64_t nextTag_ = -1;
  // Folders below this one, by their path beneath it; let go now and then
  // (walkFolders) and opened again when needed.
  mutable std::unordered_map<std::string, UniqueFd> below_;
  // Hashes of the names each folder had when first asked (taken()), by
  // its path beneath this one ("" for this one).
  struct Listing {
    std::unordered_set<std::size_t> names;
    bool lookAtEach = false;  // it could not be listed
  };
  std::unordered_map<std::string, Listing> listings_;
  SourceTree ownSources_;  // never opened: each source through its folder as named
  SourceTree* sources_ = &ownSources_;
};

}  // namespace msifter::platform
