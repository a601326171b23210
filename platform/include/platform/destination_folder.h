#pragma once
// The destination folder of a transfer run, opened once for the whole run.
//
// Every file is created relative to the open folder, never by its path, and
// before each file the path is checked to still name that folder: a
// destination that is renamed, removed, unmounted or replaced by a link
// while the run lasts is never re-created or followed; the file fails.
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
// batch's sources removed.
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_error.h"
#include "platform/syscalls.h"

namespace msifter::platform {

// A name that looks like a transfer's temporary: never listed or sorted,
// so never half a copy. Only one whose name carries our check is ever
// removed; a user's look-alike stays where it is.
bool isTransferTemporary(std::string_view name);

// One file whose transfer is complete and durable as far as its kind goes:
// a move within one file system after the rename, a copy after it got its
// name, a move between file systems after its source was removed.
struct TransferredFile {
  bool copied = false;  // false: moved
  std::string source;
  std::string name;  // in the destination folder
  int64_t size = 0;
  struct timespec modified {};
  uint64_t device = 0;  // of the new file
  uint64_t inode = 0;
};

// When a batch of moves between file systems is settled: whichever bound
// is reached first.
struct BatchLimits {
  std::size_t files = 8192;
  uint64_t bytes = 1u << 30;
  int64_t milliseconds = 5000;
};

class DestinationFolder {
 public:
  // The next name to try in the folder; asked again while names are taken.
  // An empty name gives up: the file fails as a taken name (EEXIST).
  using NameSource = std::function<std::string()>;
  using Completion = std::function<void(const TransferredFile&)>;

  DestinationFolder();
  // Copies not settled yet are dropped; their sources stay.
  ~DestinationFolder();
  DestinationFolder(const DestinationFolder&) = delete;
  DestinationFolder& operator=(const DestinationFolder&) = delete;

  // Opens `folder` and removes temporaries that earlier runs left there.
  OsError open(const std::string& folder);
  void setBatchLimits(const BatchLimits& limits) { limits_ = limits; }
  // Called once for every file whose transfer is complete; must not throw.
  void onTransferred(Completion completion) { completion_ = std::move(completion); }

  // A file (or a link, as the link itself) moved into the folder. Within one
  // file system it is renamed at once; between file systems it is copied
  // and joins the open batch, which is settled when full. A folder is never
  // moved. A failure of the batch's settling is this call's failure.
  OsError move(const std::string& from, const NameSource& names);
  // A file (a link is followed; a link that leads nowhere is copied as the
  // link itself) copied into the folder; it joins the open batch, which is
  // settled when full. The source is never touched.
  OsError copy(const std::string& from, const NameSource& names);
  // Settles every copy and move still open: flushed, named, flushed again, sources
  // removed. A source whose name no longer names the file that was copied
  // stays, and so does its copy; such a file counts as failed. The first
  // failure is the result.
  OsError settle();

 private:
  struct Staged {
    UniqueFd fd;                    // the new file while it has no final name
    std::string tempName;           // a named temporary's name, "" for an unnamed file
    struct timespec times[2] = {};  // the source's access and modification times
  };
  struct Pending {
    bool copy = false;  // false: a move between file systems
    std::string source;
    struct stat copied {};  // the source as it was copied
    Staged staged;
    std::string name;  // the name to try first, or the link's final name
    NameSource names;
    bool linked = false;
    uint64_t device = 0;  // of the new file
    uint64_t inode = 0;
  };

  OsError checkFolder() const;
  void removeStaleTemporaries();
  OsError stage(int in, const struct stat& source, Staged& out);
  void discard(Staged& staged);
  OsError link(Staged& staged, std::string& name, const NameSource& names);
  bool flushEachFile();
  OsError flushNamed(Staged& staged, const std::string& name);
  OsError firstFreeName(std::string& name, const NameSource& names) const;
  OsError moveAcross(const std::string& from, const struct stat& entry, std::string name,
                     const NameSource& names);
  OsError moveLinkAcross(const std::string& from, const struct stat& entry, std::string name,
                         const NameSource& names, Pending& out);
  OsError copyLink(const std::string& from, std::string name, const NameSource& names);
  OsError makeLink(const std::string& from, std::string& name, const NameSource& names);
  OsError stageCopy(int in, Pending& p);
  OsError addToBatch(Pending p);
  bool batchFull() const;
  OsError flush();
  OsError removeSources(const std::vector<Pending>& done);
  void removeCopy(const Pending& p);
  void dropUnsettled();
  void report(bool copied, const std::string& source, const std::string& name,
              const struct stat& contents, uint64_t device, uint64_t inode);

  UniqueFd dir_;
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool unnamedUnsupported_ = false;
  std::optional<bool> flushEachFile_;  // unknown until the first copy
  BatchLimits limits_;
  Completion completion_;
  std::vector<Pending> pending_;  // copied, waiting for the flush of their contents
  std::vector<Pending> named_;    // named, waiting for the flush of their names
  std::size_t fileBudget_ = 8192;
  uint64_t pendingBytes_ = 0;
  int64_t batchStart_ = 0;
};

// The one name given, then none: a taken name is refused, not replaced.
DestinationFolder::NameSource onlyName(const std::string& name);

}  // namespace msifter::platform
