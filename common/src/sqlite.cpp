// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/sqlite.h"

#include "common/catalogue_key.h"

namespace msifter::common::sqlite {

Connection open(const std::string& path, int flags, int& rc) {
  sqlite3* raw = nullptr;
  rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  return Connection(raw);
}

Statement prepare(sqlite3* db, const char* sql, int& rc) {
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return Statement(raw);
}

Statement prepare(sqlite3* db, const char* sql) {
  int rc = SQLITE_OK;
  return prepare(db, sql, rc);
}

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool key(sqlite3* db, const std::string& password) {
  if (sqlite3_key(db, password.data(), static_cast<int>(password.size())) != SQLITE_OK)
    return false;
  const std::string rounds = "PRAGMA kdf_iter = " + std::to_string(kMsgKeyRounds);
  return exec(db, rounds.c_str());
}

}  // namespace msifter::common::sqlite
