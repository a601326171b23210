// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What is known of a library's folders between runs: for each folder its
// files and subfolders as last listed, with the digests read from the files
// since. Kept in a SQLite file under $XDG_CACHE_HOME/m_sifter/, one per
// library. It is only a cache: a file that is missing, damaged, locked or
// cannot be written costs new listings and new reads, never a run, and
// nothing in it makes two files count as equal (their bytes decide).
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/sqlite.h"
#include "engine/content_digest.h"
#include "platform/file_reading.h"

namespace msifter::engine {

// One file of a folder, with the digests known of it while its identity
// holds.
struct IndexedFile {
  std::string name;
  platform::FileIdentity identity;
  bool headKnown = false;
  bool wholeKnown = false;
  Digest head{};   // of the first IdenticalFiles::kHeadBytes
  Digest whole{};  // of every byte
};

// A folder as it was listed. A listing is trusted again only while the
// folder keeps `identity`: adding, removing or renaming an entry changes
// its modification and change times.
struct FolderSnapshot {
  platform::FileIdentity identity;
  std::vector<IndexedFile> files;
  std::vector<std::string> folders;
};

std::string encodeSnapshot(const FolderSnapshot& snapshot);
// False (and `out` unusable) for anything but what encodeSnapshot made.
bool decodeSnapshot(std::string_view bytes, FolderSnapshot& out);

// $XDG_CACHE_HOME/m_sifter (default ~/.cache/m_sifter); "" without either.
std::string userCacheFolder();

class LibraryIndex {
 public:
  // The index of the library at `root` in `cacheFolder` (made when
  // missing), for digests named `digestName`. A damaged file is removed
  // and started again; one that cannot be opened leaves the index empty.
  void open(const std::string& cacheFolder, const std::string& root, const std::string& digestName);
  // No folder is known: the library is being indexed for the first time.
  bool empty() const { return stored_.empty(); }
  // The size of what open() read, for the room the listings will take.
  std::size_t storedBytes() const { return storedBytes_; }
  // The stored listing of folder `path` ("a/b/"), taken out of the index;
  // false when there is none or it is damaged.
  bool take(const std::string& path, FolderSnapshot& out);
  // Writes the listings of `changed` and forgets every folder that was
  // stored and not taken since open (it is no longer in the library). Quiet
  // on failure.
  void save(const std::vector<std::pair<std::string, FolderSnapshot>>& changed);
  // The database file, for tests.
  const std::string& file() const { return file_; }

 private:
  bool openDatabase();
  bool prepare(const std::string& root, const std::string& digestName);
  bool prepareTables(const std::string& root, const std::string& digestName);
  void load();
  void discard();

  std::string file_;
  common::sqlite::Connection db_;
  std::unordered_map<std::string, std::string> stored_;  // folder path: its encoded listing
  std::size_t storedBytes_ = 0;
};

}  // namespace msifter::engine
