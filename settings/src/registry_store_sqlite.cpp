// SPDX-License-Identifier: GPL-3.0-or-later
// The registry of this platform: one SQLite file per user under
// $XDG_CONFIG_HOME/m_sifter/. Every write is one transaction, or part of the
// one transaction of a RegTransaction, so a crash or a full disk leaves the
// previous state; a file that is damaged anyway is replaced by an empty store
// at the next write.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/failure.h"
#include "common/sqlite.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/own_files.h"
#include "registry_store.h"
#include "settings/registry.h"

namespace msifter::settings {

namespace detail {

namespace {

namespace fs = std::filesystem;

// "mSft": marks the file as this program's store.
constexpr int kApplicationId = 0x6D536674;
// The one wait for a store that another process keeps busy.
constexpr int kBusyWaitMilliseconds = 2000;

using Db = common::sqlite::Connection;
using Stmt = common::sqlite::Statement;
using common::sqlite::exec;
using common::sqlite::prepare;

bool isDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// A statement that fails this way finds nothing rather than a failing store:
// a store without our tables, or a damaged one, holds no values.
bool isNothingThere(int rc) { return (rc & 0xFF) == SQLITE_ERROR || isDamage(rc); }

StoreFailure systemFailure(const std::string& path, int error) {
  return {common::errorNumberFromErrno(error), path + ": " + std::strerror(error)};
}

// Call right after the failing call on `db`, before any other.
StoreFailure failureOf(sqlite3* db, int rc, const std::string& path) {
  StoreFailure why{common::err::PathFileAccess,
                   path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))};
  const int primary = rc & 0xFF;
  const int systemError = db ? sqlite3_system_errno(db) : 0;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    why.number = common::err::PermissionDenied;
  } else if (systemError != 0) {
    why.number = common::errorNumberFromErrno(systemError);
    why.text += std::string(" (") + std::strerror(systemError) + ")";
  } else if (primary == SQLITE_FULL) {
    why.number = common::err::DiskFull;
  } else if (primary == SQLITE_IOERR) {
    why.number = common::err::DeviceIO;
  } else if (primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_AUTH) {
    why.number = common::err::PermissionDenied;
  }
  return why;
}

Db open(const std::string& path, int flags, StoreFailure& why) {
  int rc = SQLITE_OK;
  Db db = common::sqlite::open(path, flags, rc);
  if (rc != SQLITE_OK) {
    why = failureOf(db.get(), rc, path);
    return nullptr;
  }
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), kBusyWaitMilliseconds);
  return db;
}

enum class Health { Sound, Fresh, Damaged, Unusable };

// A file that SQLite cannot read, that fails its own check, or that belongs
// to something else is damaged. Other failures (a full disk, no permission,
// a lock) are not: the file stays as it is, and `rc` tells why.
Health checkHealth(sqlite3* db, int& rc) {
  rc = SQLITE_OK;
  Stmt check = prepare(db, "PRAGMA quick_check", rc);
  if (!check) return isDamage(rc) ? Health::Damaged : Health::Unusable;
  rc = sqlite3_step(check.get());
  if (rc != SQLITE_ROW) return isDamage(rc) ? Health::Damaged : Health::Unusable;
  const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
  if (!verdict || std::string(verdict) != "ok") return Health::Damaged;
  check.reset();

  Stmt id = prepare(db, "PRAGMA application_id", rc);
  if (!id || (rc = sqlite3_step(id.get())) != SQLITE_ROW) return Health::Unusable;
  const int applicationId = sqlite3_column_int(id.get(), 0);
  if (applicationId == kApplicationId) return Health::Sound;
  if (applicationId != 0) return Health::Damaged;
  Stmt tables = prepare(db, "SELECT count(*) FROM sqlite_master", rc);
  if (!tables || (rc = sqlite3_step(tables.get())) != SQLITE_ROW) return Health::Unusable;
  // A new, empty file is fine; anything else without our mark is foreign.
  return sqlite3_column_int(tables.get(), 0) == 0 ? Health::Fresh : Health::Damaged;
}

bool ensureSchema(sqlite3* db) {
  if (!exec(db, "BEGIN IMMEDIATE")) return false;
  const std::string mark = "PRAGMA application_id = " + std::to_string(kApplicationId);
  const bool done = exec(db, mark.c_str()) &&
                    exec(db,
                         "CREATE TABLE IF NOT EXISTS reg_key ("
                         " id INTEGER PRIMARY KEY,"
                         " root INTEGER NOT NULL,"
                         " path TEXT NOT NULL COLLATE NOCASE,"
                         " UNIQUE (root, path))") &&
                    exec(db,
                         "CREATE TABLE IF NOT EXISTS reg_value ("
                         " key_id INTEGER NOT NULL REFERENCES reg_key (id),"
                         " name TEXT NOT NULL COLLATE NOCASE,"
                         " type INTEGER NOT NULL,"
                         " data BLOB NOT NULL,"
                         " PRIMARY KEY (key_id, name))") &&
                    exec(db, "COMMIT");
  if (!done) exec(db, "ROLLBACK");
  return done;
}

void removeQuietly(const std::string& path) { static_cast<void>(platform::removeFile(path)); }

// Builds an empty store beside the damaged one and moves it into place, so
// that the file is either the damaged one or a sound one at every moment.
bool replaceDamagedStore(const std::string& path, StoreFailure& why) {
  const std::string fresh = path + ".new";
  removeQuietly(fresh);
  removeQuietly(fresh + "-journal");
  {
    Db db = open(fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, why);
    if (db && !ensureSchema(db.get())) why = failureOf(db.get(), sqlite3_errcode(db.get()), fresh);
    if (why) {
      db.reset();
      removeQuietly(fresh);
      return false;
    }
  }
  // A journal left by the damaged file must never be played into the new one.
  removeQuietly(path + "-journal");
  const platform::OsError replaced = platform::replaceFile(fresh, path);
  if (!replaced) return true;
  why = systemFailure(path, replaced.code());
  removeQuietly(fresh);
  return false;
}

Db openForWriting(const std::string& path, StoreFailure& why) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    Db db = open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, why);
    int rc = SQLITE_OK;
    const Health health = db ? checkHealth(db.get(), rc) : Health::Unusable;
    if (health == Health::Sound) return db;
    if (health == Health::Fresh) {
      if (ensureSchema(db.get())) return db;
      why = failureOf(db.get(), sqlite3_errcode(db.get()), path);
      return nullptr;
    }
    if (health == Health::Unusable) {
      if (db) why = failureOf(db.get(), rc, path);
      return nullptr;
    }
    db.reset();
    if (attempt > 0) {
      why = {common::err::PathFileAccess, path + ": still damaged after it was replaced"};
      return nullptr;
    }
    if (!replaceDamagedStore(path, why)) return nullptr;
  }
  return nullptr;
}

// "Software\m_sifter" needs "Software" as well, as a registry path would.
std::vector<std::string> keyAndParents(const std::string& subKey) {
  std::vector<std::string> paths;
  for (std::size_t at = subKey.find('\\'); at != std::string::npos;
       at = subKey.find('\\', at + 1)) {
    if (at > 0) paths.push_back(subKey.substr(0, at));
  }
  paths.push_back(subKey);
  return paths;
}

// SQLITE_ROW when found (with `id`), SQLITE_DONE when there is no such key,
// the failing code otherwise.
int findKey(sqlite3* db, uint32_t root, const std::string& subKey, sqlite3_int64& id) {
  int rc = SQLITE_OK;
  Stmt find = prepare(db, "SELECT id FROM reg_key WHERE root = ?1 AND path = ?2", rc);
  if (!find) return isNothingThere(rc) ? SQLITE_DONE : rc;
  sqlite3_bind_int64(find.get(), 1, root);
  sqlite3_bind_text(find.get(), 2, subKey.data(), static_cast<int>(subKey.size()),
                    SQLITE_TRANSIENT);
  rc = sqlite3_step(find.get());
  if (rc == SQLITE_ROW) {
    id = sqlite3_column_int64(find.get(), 0);
    return SQLITE_ROW;
  }
  return rc == SQLITE_DONE || isDamage(rc) ? SQLITE_DONE : rc;
}

// Adds the key and its parents inside the caller's transaction.
bool insertKey(sqlite3* db, uint32_t root, const std::string& subKey, sqlite3_int64& id) {
  for (const std::string& keyPath : keyAndParents(subKey)) {
    Stmt insert = prepare(db, "INSERT OR IGNORE INTO reg_key (root, path) VALUES (?1, ?2)");
    if (!insert) return false;
    sqlite3_bind_int64(insert.get(), 1, root);
    sqlite3_bind_text(insert.get(), 2, keyPath.data(), static_cast<int>(keyPath.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return false;
  }
  return findKey(db, root, subKey, id) == SQLITE_ROW;
}

// Whether there is a store to read at all; a folder that cannot be searched
// is a failure, not an absence.
bool storeExists(const std::string& path, StoreFailure& why) {
  if (path.empty()) return false;
  platform::FileIdentity there;
  const platform::OsError e = platform::identityOf(path, there);
  if (!e) return true;
  if (!e.nothingThere()) why = systemFailure(path, e.code());
  return false;
}

// The store, made with its folder when missing, checked and ready for writing.
Db openStoreForWriting(const std::string& path, StoreFailure& why) {
  if (path.empty()) {
    why = {common::err::PathNotFound, "XDG_CONFIG_HOME, HOME: no folder for the settings"};
    return nullptr;
  }
  const std::string folder = fs::path(path).parent_path().string();
  if (const platform::OsError e = platform::makeFolders(folder, 0777)) {
    why = systemFailure(folder, e.code());
    return nullptr;
  }
  return openForWriting(path, why);
}

}  // namespace

struct RegKey::Impl {
  Db owned;  // empty when the key borrows a transaction's connection
  sqlite3* db = nullptr;
  std::string path;
  sqlite3_int64 id = 0;
};

RegKey::RegKey() = default;
RegKey::RegKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegKey::~RegKey() = default;
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;

}  // namespace detail

struct RegTransaction::Impl {
  Kind kind = Kind::Read;
  std::string path;
  detail::Db db;  // empty: no store to read, or `failure`
  detail::StoreFailure failure;
  bool failureReported = false;
  bool finished = false;

  // The failure for the first call that meets it; the later ones fail quietly.
  detail::StoreFailure failureOnce() {
    if (failureReported) return {};
    failureReported = true;
    return failure;
  }
};

namespace {
RegTransaction::Impl* activeTransaction = nullptr;

RegTransaction::Impl* activeFor(RegTransaction::Kind kind) {
  return activeTransaction && activeTransaction->kind == kind ? activeTransaction : nullptr;
}
}  // namespace

namespace detail {

namespace {

RegKey borrowedKey(sqlite3* db, const std::string& path, sqlite3_int64 id) {
  return RegKey(std::make_unique<RegKey::Impl>(RegKey::Impl{nullptr, db, path, id}));
}

RegKey ownedKey(Db db, const std::string& path, sqlite3_int64 id) {
  sqlite3* raw = db.get();
  return RegKey(std::make_unique<RegKey::Impl>(RegKey::Impl{std::move(db), raw, path, id}));
}

// The key in the connection of the transaction `t`: found, or for a write
// made when missing. A transaction that could not start tells why once.
RegKey keyInTransaction(RegTransaction::Impl& t, uint32_t root, const std::string& subKey,
                        StoreFailure& why) {
  if (t.failure) {
    why = t.failureOnce();
    return {};
  }
  sqlite3* db = t.db.get();
  if (!db) return {};  // nothing to read
  sqlite3_int64 id = 0;
  int found = findKey(db, root, subKey, id);
  if (found == SQLITE_DONE && t.kind == RegTransaction::Kind::Write)
    found = insertKey(db, root, subKey, id) ? SQLITE_ROW : sqlite3_errcode(db);
  if (found == SQLITE_ROW) return borrowedKey(db, t.path, id);
  if (found != SQLITE_DONE) why = failureOf(db, found, t.path);
  return {};
}

}  // namespace

std::string userConfigFolder() {
  // A relative XDG_CONFIG_HOME is to be ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

namespace {

// A key on a connection of its own, made when missing in a transaction of
// its own.
RegKey ownKeyForWriting(uint32_t root, const std::string& subKey, StoreFailure& why) {
  const std::string path = registryStorePath();
  Db db = openStoreForWriting(path, why);
  if (!db) return {};
  sqlite3_int64 id = 0;
  const int found = findKey(db.get(), root, subKey, id);
  if (found == SQLITE_ROW) return ownedKey(std::move(db), path, id);
  if (found == SQLITE_DONE && exec(db.get(), "BEGIN IMMEDIATE")) {
    if (insertKey(db.get(), root, subKey, id) && exec(db.get(), "COMMIT")) {
      return ownedKey(std::move(db), path, id);
    }
    why = failureOf(db.get(), sqlite3_errcode(db.get()), path);
    exec(db.get(), "ROLLBACK");
    return {};
  }
  why = failureOf(db.get(), sqlite3_errcode(db.get()), path);
  return {};
}

RegKey ownKeyForReading(uint32_t root, const std::string& subKey, StoreFailure& why) {
  const std::string path = registryStorePath();
  if (!storeExists(path, why)) return {};
  // Read-write without create: a journal left by a crash is played back, and
  // a missing store stays missing.
  Db db = open(path, SQLITE_OPEN_READWRITE, why);
  if (!db) return {};
  sqlite3_int64 id = 0;
  const int found = findKey(db.get(), root, subKey, id);
  if (found != SQLITE_ROW && found != SQLITE_DONE) why = failureOf(db.get(), found, path);
  return found == SQLITE_ROW ? ownedKey(std::move(db), path, id) : RegKey();
}

// Only the current user's keys are kept. Within a transaction of the kind
// asked for, the key comes through its connection.
RegKey keyFor(RegTransaction::Kind kind, uint32_t root, const std::string& subKey,
              StoreFailure& why) {
  if (root != kHKeyCurrentUser) return {};
  if (RegTransaction::Impl* t = activeFor(kind)) return keyInTransaction(*t, root, subKey, why);
  return kind == RegTransaction::Kind::Write ? ownKeyForWriting(root, subKey, why)
                                             : ownKeyForReading(root, subKey, why);
}

}  // namespace

RegKey regCreateKey(uint32_t root, const std::string& subKey, StoreFailure& why) {
  return keyFor(RegTransaction::Kind::Write, root, subKey, why);
}

RegKey regOpenKey(uint32_t root, const std::string& subKey, StoreFailure& why) {
  return keyFor(RegTransaction::Kind::Read, root, subKey, why);
}

bool regQueryValue(const RegKey& key, const std::string& valueName, int32_t& type,
                   std::string& data, StoreFailure& why) {
  if (!key) return false;
  sqlite3* db = key.impl().db;
  int rc = SQLITE_OK;
  Stmt query = prepare(db, "SELECT type, data FROM reg_value WHERE key_id = ?1 AND name = ?2", rc);
  if (query) {
    sqlite3_bind_int64(query.get(), 1, key.impl().id);
    sqlite3_bind_text(query.get(), 2, valueName.data(), static_cast<int>(valueName.size()),
                      SQLITE_TRANSIENT);
    rc = sqlite3_step(query.get());
  }
  if (rc != SQLITE_ROW) {
    if (rc != SQLITE_DONE && !isNothingThere(rc)) why = failureOf(db, rc, key.impl().path);
    return false;
  }
  type = sqlite3_column_int(query.get(), 0);
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(query.get(), 1));
  const int size = sqlite3_column_bytes(query.get(), 1);
  data.assign(bytes ? bytes : "", bytes ? static_cast<std::size_t>(size) : 0);
  return true;
}

bool regSetValue(const RegKey& key, const std::string& valueName, int32_t type,
                 const std::string& data, StoreFailure& why) {
  if (!key) return false;
  sqlite3* db = key.impl().db;
  int rc = SQLITE_OK;
  Stmt set = prepare(db,
                     "INSERT OR REPLACE INTO reg_value (key_id, name, type, data)"
                     " VALUES (?1, ?2, ?3, ?4)",
                     rc);
  if (set) {
    sqlite3_bind_int64(set.get(), 1, key.impl().id);
    sqlite3_bind_text(set.get(), 2, valueName.data(), static_cast<int>(valueName.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int(set.get(), 3, type);
    sqlite3_bind_blob(set.get(), 4, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(set.get());
  }
  if (rc == SQLITE_DONE) return true;
  why = failureOf(db, rc, key.impl().path);
  return false;
}

}  // namespace detail

RegTransaction::RegTransaction(Kind kind) {
  if (activeTransaction) return;
  impl_ = std::make_unique<Impl>();
  impl_->kind = kind;
  impl_->path = registryStorePath();
  activeTransaction = impl_.get();
  Impl& t = *impl_;
  if (kind == Kind::Write) {
    // The store is made and checked here, and the lock for writing taken at
    // once: one wait for a busy store, and no write that has to wait later.
    t.db = detail::openStoreForWriting(t.path, t.failure);
    if (t.db && !detail::exec(t.db.get(), "BEGIN IMMEDIATE")) {
      t.failure = detail::failureOf(t.db.get(), sqlite3_errcode(t.db.get()), t.path);
      t.db.reset();
    }
    if (!t.db && !t.failure)
      t.failure = {common::err::PathFileAccess, t.path + ": cannot be opened"};
    return;
  }
  if (!detail::storeExists(t.path, t.failure)) return;
  t.db = detail::open(t.path, SQLITE_OPEN_READWRITE, t.failure);
  if (!t.db) return;
  // The read lock is taken by the first read, and held to the end.
  int rc = SQLITE_OK;
  if (detail::exec(t.db.get(), "BEGIN")) {
    detail::Stmt first = detail::prepare(t.db.get(), "SELECT count(*) FROM sqlite_master", rc);
    if (first) rc = sqlite3_step(first.get());
  } else {
    rc = sqlite3_errcode(t.db.get());
  }
  if (rc == SQLITE_ROW) return;
  // A damaged store holds no values, as outside a transaction.
  if (!detail::isDamage(rc)) t.failure = detail::failureOf(t.db.get(), rc, t.path);
  t.db.reset();
}

RegTransaction::~RegTransaction() {
  if (!impl_) return;
  if (impl_->db && !impl_->finished) detail::exec(impl_->db.get(), "ROLLBACK");
  activeTransaction = nullptr;
}

bool RegTransaction::usable() const {
  const Impl* t = impl_ ? impl_.get() : activeTransaction;
  return !t || !t->failure;
}

bool RegTransaction::commit() {
  if (!impl_) return usable();
  Impl& t = *impl_;
  if (t.failure) {
    detail::reportStoreFailure("gSetRegValue", t.failureOnce());
    return false;
  }
  if (!t.db || t.finished) return true;
  if (detail::exec(t.db.get(), "COMMIT")) {
    t.finished = true;
    return true;
  }
  t.failure = detail::failureOf(t.db.get(), sqlite3_errcode(t.db.get()), t.path);
  detail::reportStoreFailure("gSetRegValue", t.failureOnce());
  return false;
}

std::string registryStorePath() {
  const std::string folder = detail::userConfigFolder();
  if (folder.empty()) return {};
  return folder + "/m_sifter/registry.db";
}

}  // namespace msifter::settings
