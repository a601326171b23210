// SPDX-License-Identifier: GPL-3.0-or-later
#include "library_index.h"

#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/identical_files.h"
#include "platform/file_system.h"

namespace msifter::engine {

namespace sqlite = common::sqlite;

namespace {

// Changes whenever the stored listings would be read otherwise.
constexpr const char* kFormat = "listings 1";

// --- Listings as bytes: fixed-width fields in the machine's order (the
// file never leaves the machine), names with their length first.

class Writer {
 public:
  template <typename T>
  void put(T value) {
    out_.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void name(const std::string& n) {
    put(static_cast<uint16_t>(n.size()));
    out_ += n;
  }
  void identity(const platform::FileIdentity& id) {
    put(id.device);
    put(id.inode);
    put(id.size);
    put(id.modifiedSeconds);
    put(id.modifiedNanoseconds);
    put(id.changedSeconds);
    put(id.changedNanoseconds);
  }
  void digest(const Digest& d) { out_.append(reinterpret_cast<const char*>(d.data()), d.size()); }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

// Every read checks what is left, so a damaged listing fails, never reads
// past its end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : in_(bytes) {}
  template <typename T>
  bool get(T& value) {
    if (in_.size() < sizeof value) return false;
    std::memcpy(&value, in_.data(), sizeof value);
    in_.remove_prefix(sizeof value);
    return true;
  }
  bool name(std::string& n) {
    uint16_t length = 0;
    if (!get(length) || length == 0 || in_.size() < length) return false;
    n.assign(in_.substr(0, length));
    in_.remove_prefix(length);
    return n.find('/') == std::string::npos && n != "." && n != "..";
  }
  bool identity(platform::FileIdentity& id) {
    return get(id.device) && get(id.inode) && get(id.size) && get(id.modifiedSeconds) &&
           get(id.modifiedNanoseconds) && get(id.changedSeconds) && get(id.changedNanoseconds);
  }
  bool digest(Digest& d) {
    if (in_.size() < d.size()) return false;
    std::memcpy(d.data(), in_.data(), d.size());
    in_.remove_prefix(d.size());
    return true;
  }
  bool atEnd() const { return in_.empty(); }

 private:
  std::string_view in_;
};

constexpr uint8_t kHeadKnown = 1;
constexpr uint8_t kWholeKnown = 2;

bool isDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string hex64(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string encodeSnapshot(const FolderSnapshot& snapshot) {
  Writer w;
  w.identity(snapshot.identity);
  w.put(static_cast<uint32_t>(snapshot.files.size()));
  w.put(static_cast<uint32_t>(snapshot.folders.size()));
  for (const IndexedFile& f : snapshot.files) {
    w.name(f.name);
    w.identity(f.identity);
    w.put(static_cast<uint8_t>((f.headKnown ? kHeadKnown : 0) | (f.wholeKnown ? kWholeKnown : 0)));
    if (f.headKnown) w.digest(f.head);
    if (f.wholeKnown) w.digest(f.whole);
  }
  for (const std::string& name : snapshot.folders) w.name(name);
  return w.take();
}

bool decodeSnapshot(std::string_view bytes, FolderSnapshot& out) {
  Reader r(bytes);
  uint32_t files = 0;
  uint32_t folders = 0;
  if (!r.identity(out.identity) || !r.get(files) || !r.get(folders)) return false;
  // Each entry takes at least three bytes: a count beyond that is damage,
  // not a reason to reserve gigabytes.
  if (files + static_cast<uint64_t>(folders) > bytes.size() / 3) return false;
  out.files.assign(files, IndexedFile{});
  for (IndexedFile& f : out.files) {
    uint8_t flags = 0;
    if (!r.name(f.name) || !r.identity(f.identity) || !r.get(flags) ||
        (flags & ~(kHeadKnown | kWholeKnown)) != 0)
      return false;
    f.headKnown = (flags & kHeadKnown) != 0;
    f.wholeKnown = (flags & kWholeKnown) != 0;
    if ((f.headKnown && !r.digest(f.head)) || (f.wholeKnown && !r.digest(f.whole))) return false;
  }
  out.folders.assign(folders, std::string());
  for (std::string& name : out.folders)
    if (!r.name(name)) return false;
  return r.atEnd();
}

std::string userCacheFolder() {
  // XDG: a relative XDG_CACHE_HOME is to be ignored.
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
    return std::string(cache) + "/m_sifter";
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.cache/m_sifter" : std::string();
}

void LibraryIndex::open(const std::string& cacheFolder, const std::string& root,
                        const std::string& digestName) {
  db_.reset();
  stored_.clear();
  storedBytes_ = 0;
  file_.clear();
  if (cacheFolder.empty() || platform::makeFolders(cacheFolder, 0700)) return;
  file_ = cacheFolder + "/library-" + hex64(XXH3_64bits(root.data(), root.size())) + ".sqlite";
  // A damaged file is started again once; a second failure leaves no index.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!openDatabase()) return;
    if (prepare(root, digestName)) {
      load();
      if (db_ != nullptr) return;
    }
    discard();
  }
}

bool LibraryIndex::openDatabase() {
  int rc = SQLITE_OK;
  db_ = sqlite::open(file_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
  // A cache on a file system that cannot be written is still read.
  if (rc != SQLITE_OK) db_ = sqlite::open(file_, SQLITE_OPEN_READONLY, rc);
  if (rc != SQLITE_OK) {
    db_.reset();
    return false;
  }
  // Another run at the same library: its work is as good as ours.
  sqlite3_busy_timeout(db_.get(), 250);
  // A cache needs no flush at every commit: after a crash it is at worst
  // one run behind, and never inconsistent.
  sqlite::exec(db_.get(), "PRAGMA journal_mode=WAL");
  sqlite::exec(db_.get(), "PRAGMA synchronous=NORMAL");
  return true;
}

// True when the file is a usable index of this library (emptied when it
// was one of another library or another digest); false when it is damaged.
bool LibraryIndex::prepare(const std::string& root, const std::string& digestName) {
  // One transaction: a new file is made with one commit.
  sqlite::exec(db_.get(), "BEGIN");
  const bool usable = prepareTables(root, digestName);
  if (!sqlite::exec(db_.get(), "COMMIT")) sqlite::exec(db_.get(), "ROLLBACK");
  return usable;
}

bool LibraryIndex::prepareTables(const std::string& root, const std::string& digestName) {
  sqlite3* db = db_.get();
  int rc = sqlite3_exec(db,
                        "CREATE TABLE IF NOT EXISTS about(key TEXT PRIMARY KEY, value BLOB);"
                        "CREATE TABLE IF NOT EXISTS folders(path BLOB PRIMARY KEY, listing BLOB)",
                        nullptr, nullptr, nullptr);
  if (isDamage(rc)) return false;
  const std::string expected = std::string(kFormat) + "\n" + digestName + "\n" + root;
  sqlite::Statement read = sqlite::prepare(db, "SELECT value FROM about WHERE key = 'library'", rc);
  if (isDamage(rc)) return false;
  if (read == nullptr) return true;  // unreadable for another reason: used as it is
  rc = sqlite3_step(read.get());
  if (isDamage(rc)) return false;
  if (rc == SQLITE_ROW) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(read.get(), 0));
    const auto length = static_cast<std::size_t>(sqlite3_column_bytes(read.get(), 0));
    if (std::string_view(bytes ? bytes : "", length) == expected) return true;
  } else if (rc != SQLITE_DONE) {
    return true;  // locked by another run: read what can be read, change nothing
  }
  read.reset();
  sqlite::Statement write =
      sqlite::prepare(db, "INSERT OR REPLACE INTO about(key, value) VALUES('library', ?)", rc);
  if (isDamage(rc)) return false;
  rc = sqlite3_exec(db, "DELETE FROM folders", nullptr, nullptr, nullptr);
  if (isDamage(rc)) return false;
  if (write != nullptr) {
    sqlite3_bind_blob(write.get(), 1, expected.data(), static_cast<int>(expected.size()),
                      SQLITE_STATIC);
    if (isDamage(sqlite3_step(write.get()))) return false;
  }
  return true;
}

void LibraryIndex::load() {
  int rc = SQLITE_OK;
  sqlite::Statement all = sqlite::prepare(db_.get(), "SELECT path, listing FROM folders", rc);
  if (all == nullptr) {
    if (isDamage(rc)) db_.reset();
    return;
  }
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    const auto* path = static_cast<const char*>(sqlite3_column_blob(all.get(), 0));
    const auto* listing = static_cast<const char*>(sqlite3_column_blob(all.get(), 1));
    const auto pathBytes = static_cast<std::size_t>(sqlite3_column_bytes(all.get(), 0));
    const auto listingBytes = static_cast<std::size_t>(sqlite3_column_bytes(all.get(), 1));
    stored_.emplace(std::string(path ? path : "", pathBytes),
                    std::string(listing ? listing : "", listingBytes));
    storedBytes_ += listingBytes;
  }
  if (isDamage(rc)) {
    stored_.clear();
    db_.reset();
  }
}

void LibraryIndex::discard() {
  db_.reset();
  stored_.clear();
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    (void)platform::removeTree(file_ + suffix);
}

bool LibraryIndex::take(const std::string& path, FolderSnapshot& out) {
  const auto found = stored_.find(path);
  if (found == stored_.end()) return false;
  const bool decoded = decodeSnapshot(found->second, out);
  stored_.erase(found);
  return decoded;
}

void LibraryIndex::save(const std::vector<std::pair<std::string, FolderSnapshot>>& changed) {
  if (db_ == nullptr || (changed.empty() && stored_.empty())) return;
  sqlite3* db = db_.get();
  if (!sqlite::exec(db, "BEGIN IMMEDIATE")) return;
  sqlite::Statement forget = sqlite::prepare(db, "DELETE FROM folders WHERE path = ?");
  sqlite::Statement keep =
      sqlite::prepare(db, "INSERT OR REPLACE INTO folders(path, listing) VALUES(?, ?)");
  bool ok = forget != nullptr && keep != nullptr;
  for (auto it = stored_.begin(); ok && it != stored_.end(); ++it) {
    sqlite3_bind_blob(forget.get(), 1, it->first.data(), static_cast<int>(it->first.size()),
                      SQLITE_STATIC);
    ok = sqlite3_step(forget.get()) == SQLITE_DONE && sqlite3_reset(forget.get()) == SQLITE_OK;
  }
  for (std::size_t i = 0; ok && i < changed.size(); ++i) {
    const std::string& path = changed[i].first;
    const std::string listing = encodeSnapshot(changed[i].second);
    sqlite3_bind_blob(keep.get(), 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    sqlite3_bind_blob(keep.get(), 2, listing.data(), static_cast<int>(listing.size()),
                      SQLITE_STATIC);
    ok = sqlite3_step(keep.get()) == SQLITE_DONE && sqlite3_reset(keep.get()) == SQLITE_OK;
  }
  forget.reset();
  keep.reset();
  if (ok && sqlite::exec(db, "COMMIT")) {
    stored_.clear();
    return;
  }
  const int rc = sqlite3_errcode(db);
  sqlite::exec(db, "ROLLBACK");
  if (isDamage(rc)) discard();
}

}  // namespace msifter::engine
