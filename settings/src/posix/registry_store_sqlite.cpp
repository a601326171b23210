// The registry of this platform: one SQLite file per user under
// $XDG_CONFIG_HOME/m_sifter/. Every write is one transaction, so a crash or a
// full disk leaves the previous state; a file that is damaged anyway is
// replaced by an empty store at the next write.
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "registry_store.h"
#include "settings/registry.h"

namespace msifter::settings {

namespace detail {

namespace {

namespace fs = std::filesystem;

// "mSft": marks the file as this program's store.
constexpr int kApplicationId = 0x6D536674;

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

Stmt prepare(sqlite3* db, const char* sql, int& rc) {
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return Stmt(raw);
}

Stmt prepare(sqlite3* db, const char* sql) {
  int rc = SQLITE_OK;
  return prepare(db, sql, rc);
}

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool isDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Db open(const std::string& path, int flags, int& rc) {
  sqlite3* raw = nullptr;
  rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), 2000);
  return db;
}

enum class Health { Sound, Fresh, Damaged, Unusable };

// A file that SQLite cannot read, that fails its own check, or that belongs
// to something else is damaged. Other failures (a full disk, no permission,
// a lock) are not: the file stays as it is.
Health checkHealth(sqlite3* db) {
  int rc = SQLITE_OK;
  Stmt check = prepare(db, "PRAGMA quick_check", rc);
  if (!check) return isDamage(rc) ? Health::Damaged : Health::Unusable;
  rc = sqlite3_step(check.get());
  if (rc != SQLITE_ROW) return isDamage(rc) ? Health::Damaged : Health::Unusable;
  const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
  if (!verdict || std::string(verdict) != "ok") return Health::Damaged;
  check.reset();

  Stmt id = prepare(db, "PRAGMA application_id");
  if (!id || sqlite3_step(id.get()) != SQLITE_ROW) return Health::Unusable;
  const int applicationId = sqlite3_column_int(id.get(), 0);
  if (applicationId == kApplicationId) return Health::Sound;
  if (applicationId != 0) return Health::Damaged;
  Stmt tables = prepare(db, "SELECT count(*) FROM sqlite_master");
  if (!tables || sqlite3_step(tables.get()) != SQLITE_ROW) return Health::Unusable;
  // A new, empty file is fine; anything else without our mark is foreign.
  return sqlite3_column_int(tables.get(), 0) == 0 ? Health::Fresh : Health::Damaged;
}

bool ensureSchema(sqlite3* db) {
  if (!exec(db, "BEGIN IMMEDIATE")) return false;
  const std::string mark = "PRAGMA application_id = " + std::to_string(kApplicationId);
  const bool done =
      exec(db, mark.c_str()) &&
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

void removeQuietly(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// Builds an empty store beside the damaged one and moves it into place, so
// that the file is either the damaged one or a sound one at every moment.
bool replaceDamagedStore(const std::string& path) {
  const std::string fresh = path + ".new";
  removeQuietly(fresh);
  removeQuietly(fresh + "-journal");
  {
    int rc = SQLITE_OK;
    Db db = open(fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
    if (!db || !ensureSchema(db.get())) {
      db.reset();
      removeQuietly(fresh);
      return false;
    }
  }
  // A journal left by the damaged file must never be played into the new one.
  removeQuietly(path + "-journal");
  std::error_code ec;
  fs::rename(fresh, path, ec);
  if (ec) removeQuietly(fresh);
  return !ec;
}

Db openForWriting(const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int rc = SQLITE_OK;
    Db db = open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
    Health health = db ? checkHealth(db.get()) : (isDamage(rc) ? Health::Damaged : Health::Unusable);
    if (health == Health::Sound) return db;
    if (health == Health::Fresh) return ensureSchema(db.get()) ? std::move(db) : nullptr;
    db.reset();
    if (health == Health::Unusable || attempt > 0 || !replaceDamagedStore(path)) return nullptr;
  }
  return nullptr;
}

// "Software\m_sifter" needs "Software" as well, as a registry path would.
std::vector<std::string> keyAndParents(const std::string& subKey) {
  std::vector<std::string> paths;
  for (std::size_t at = subKey.find('\\'); at != std::string::npos; at = subKey.find('\\', at + 1)) {
    if (at > 0) paths.push_back(subKey.substr(0, at));
  }
  paths.push_back(subKey);
  return paths;
}

bool findKey(sqlite3* db, uint32_t root, const std::string& subKey, sqlite3_int64& id) {
  Stmt find = prepare(db, "SELECT id FROM reg_key WHERE root = ?1 AND path = ?2");
  if (!find) return false;
  sqlite3_bind_int64(find.get(), 1, root);
  sqlite3_bind_text(find.get(), 2, subKey.data(), static_cast<int>(subKey.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(find.get()) != SQLITE_ROW) return false;
  id = sqlite3_column_int64(find.get(), 0);
  return true;
}

}  // namespace

struct RegKey::Impl {
  Db db;
  sqlite3_int64 id = 0;
};

RegKey::RegKey() = default;
RegKey::RegKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegKey::~RegKey() = default;
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;

std::string userConfigFolder() {
  // A relative XDG_CONFIG_HOME is to be ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

RegKey regCreateKey(uint32_t root, const std::string& subKey) {
  if (root != kHKeyCurrentUser) return {};
  const std::string path = registryStorePath();
  if (path.empty()) return {};
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (ec) return {};
  Db db = openForWriting(path);
  if (!db) return {};
  sqlite3_int64 id = 0;
  if (findKey(db.get(), root, subKey, id)) {
    return RegKey(std::make_unique<RegKey::Impl>(RegKey::Impl{std::move(db), id}));
  }
  if (!exec(db.get(), "BEGIN IMMEDIATE")) return {};
  bool done = true;
  for (const std::string& keyPath : keyAndParents(subKey)) {
    Stmt insert = prepare(db.get(), "INSERT OR IGNORE INTO reg_key (root, path) VALUES (?1, ?2)");
    if (!insert) {
      done = false;
      break;
    }
    sqlite3_bind_int64(insert.get(), 1, root);
    sqlite3_bind_text(insert.get(), 2, keyPath.data(), static_cast<int>(keyPath.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
      done = false;
      break;
    }
  }
  done = done && findKey(db.get(), root, subKey, id) && exec(db.get(), "COMMIT");
  if (!done) {
    exec(db.get(), "ROLLBACK");
    return {};
  }
  return RegKey(std::make_unique<RegKey::Impl>(RegKey::Impl{std::move(db), id}));
}

RegKey regOpenKey(uint32_t root, const std::string& subKey) {
  if (root != kHKeyCurrentUser) return {};
  const std::string path = registryStorePath();
  if (path.empty()) return {};
  // Read-write without create: a journal left by a crash is played back, and
  // a missing store stays missing.
  int rc = SQLITE_OK;
  Db db = open(path, SQLITE_OPEN_READWRITE, rc);
  sqlite3_int64 id = 0;
  if (!db || !findKey(db.get(), root, subKey, id)) return {};
  return RegKey(std::make_unique<RegKey::Impl>(RegKey::Impl{std::move(db), id}));
}

bool regQueryValue(const RegKey& key, const std::string& valueName, int32_t& type,
                   std::string& data) {
  if (!key) return false;
  sqlite3* db = key.impl().db.get();
  Stmt query = prepare(db, "SELECT type, data FROM reg_value WHERE key_id = ?1 AND name = ?2");
  if (!query) return false;
  sqlite3_bind_int64(query.get(), 1, key.impl().id);
  sqlite3_bind_text(query.get(), 2, valueName.data(), static_cast<int>(valueName.size()),
                    SQLITE_TRANSIENT);
  if (sqlite3_step(query.get()) != SQLITE_ROW) return false;
  type = sqlite3_column_int(query.get(), 0);
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(query.get(), 1));
  const int size = sqlite3_column_bytes(query.get(), 1);
  data.assign(bytes ? bytes : "", bytes ? static_cast<std::size_t>(size) : 0);
  return true;
}

bool regSetValue(const RegKey& key, const std::string& valueName, int32_t type,
                 const std::string& data) {
  if (!key) return false;
  sqlite3* db = key.impl().db.get();
  Stmt set = prepare(db,
                     "INSERT OR REPLACE INTO reg_value (key_id, name, type, data)"
                     " VALUES (?1, ?2, ?3, ?4)");
  if (!set) return false;
  sqlite3_bind_int64(set.get(), 1, key.impl().id);
  sqlite3_bind_text(set.get(), 2, valueName.data(), static_cast<int>(valueName.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int(set.get(), 3, type);
  sqlite3_bind_blob(set.get(), 4, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
  return sqlite3_step(set.get()) == SQLITE_DONE;
}

}  // namespace detail

std::string registryStorePath() {
  const std::string folder = detail::userConfigFolder();
  if (folder.empty()) return {};
  return folder + "/m_sifter/registry.db";
}

}  // namespace msifter::settings
