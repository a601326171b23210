// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlite_files.h"

#include "common/sqlite.h"

namespace msifter::testing {

namespace sqlite = common::sqlite;

bool runSql(const std::filesystem::path& path, const std::string& sql,
            const std::string& password) {
  int rc = SQLITE_OK;
  const sqlite::Connection db =
      sqlite::open(path.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
  if (rc != SQLITE_OK) return false;
  if (!password.empty() && !sqlite::key(db.get(), password)) return false;
  return sqlite::exec(db.get(), sql.c_str());
}

std::string firstValue(const std::filesystem::path& path, const std::string& query) {
  int rc = SQLITE_OK;
  const sqlite::Connection db = sqlite::open(path.string(), SQLITE_OPEN_READONLY, rc);
  if (rc != SQLITE_OK) return {};
  const sqlite::Statement statement = sqlite::prepare(db.get(), query.c_str());
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return {};
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement.get(), 0));
  return std::string(
      bytes ? bytes : "",
      bytes ? static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), 0)) : 0);
}

}  // namespace msifter::testing
