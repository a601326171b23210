#pragma once
// Finds, among the files directly in one folder, one with the same bytes as a
// given file, whatever its name, so that a run can skip what is already there.
//
// A file of a size that no file in the folder has costs one hash-map look-up.
// Among files of one size, the first block of each is read and digested once;
// only files whose first blocks agree are read further, and each file of the
// folder is read at most once per run: what was read is kept as a digest.
// Digests are SHA-256, so two files match only when their bytes are equal.
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/os_error.h"
#include "platform/syscalls.h"

namespace msifter::engine {

// The files directly in one folder, indexed once by size, so that a file with the same
// bytes as another can be found by any name; bytes are compared only for equal sizes.
class IdenticalFiles {
 public:
  // Indexes the regular files directly in `folder` (no subfolders; links are not
  // followed; transfer temporaries are never files). One listing, sizes from it.
  platform::OsError open(const std::string& folder);
  // The name (in the folder, or the full path it was added by) of a file with exactly
  // the bytes of the file at `path`, which is `size` bytes long; empty when there is none.
  std::string findIdentical(const std::string& path, int64_t size);
  // A file that has just come into the folder under `name`, or, by its full path, one on
  // its way there that has no name in the folder yet (a copy waiting for its batch, a
  // planned file of a preview); it is read where that path says.
  void add(const std::string& name, int64_t size);

  // How many bytes from the start of a file are compared first.
  static constexpr int64_t kHeadBytes = 16 * 1024;

 private:
  using Digest = std::array<unsigned char, 32>;
  struct DigestHash {
    std::size_t operator()(const Digest& d) const;
  };
  // A file of the folder as it was indexed; a file that no longer looks like
  // this is not the file that was indexed, and never a match.
  struct Entry {
    std::string name;
    bool identityKnown = false;  // false for an added file until it is read
    ino_t inode = 0;
    struct timespec modified {};
    bool gone = false;
    bool headRead = false;
    Digest head{};
    bool restRead = false;  // the bytes after the head
    Digest rest{};
  };
  struct SameSize {
    std::vector<Entry> entries;
    std::vector<std::size_t> headsUnread;
    std::unordered_multimap<Digest, std::size_t, DigestHash> byHead;
  };
  // True when `now` is still the file indexed as `entry` (an added file
  // takes its identity from its first look).
  bool sameIdentity(Entry& entry, const struct stat& now, int64_t size) const;
  bool stillThere(Entry& entry, int64_t size);
  // Reads and digests what is not known yet of `entry`: its head, then its
  // rest unless its head differs from `*restOnlyAfter`.
  void readCandidate(Entry& entry, int64_t size, const Digest* restOnlyAfter);

  platform::UniqueFd folder_;
  dev_t device_ = 0;
  std::unordered_map<int64_t, SameSize> bySize_;
};

}  // namespace msifter::engine
