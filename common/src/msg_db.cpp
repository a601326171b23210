// SPDX-License-Identifier: GPL-3.0-or-later
// The record layer of the message catalogue over SQLCipher.
#include "msg_db.h"

#include <vector>

#include "common/case_mapping.h"
#include "common/failure.h"
#include "common/msg.h"
#include "common/sqlite.h"

namespace msifter::common {

namespace {

using sqlite::prepare;
using Db = sqlite::Connection;
using Stmt = sqlite::Statement;

// One catalogue for the whole program; it stays open until the program ends.
struct Catalogue {
  Db db;
  Stmt recordset;
  int32_t recordCount = 0;
  int32_t fieldCount = 0;
  std::vector<MsgField> fields;
};

Catalogue& catalogue() {
  static Catalogue current;
  return current;
}

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The column type from its declared type, by SQLite's own affinity rules,
// with dates told apart; an expression column goes by its stored value.
int fieldTypeOf(sqlite3_stmt* stmt, int column) {
  const char* declared = sqlite3_column_decltype(stmt, column);
  if (!declared) {
    switch (sqlite3_column_type(stmt, column)) {
      case SQLITE_INTEGER: return fieldType::Long;
      case SQLITE_FLOAT: return fieldType::Double;
      case SQLITE_BLOB: return fieldType::LongBinary;
      default: return fieldType::Text;
    }
  }
  const std::string upper = upperCase(declared);
  if (contains(upper, "DATE") || contains(upper, "TIME")) return fieldType::Date;
  if (contains(upper, "INT")) return fieldType::Long;
  if (contains(upper, "CHAR") || contains(upper, "CLOB") || contains(upper, "TEXT")) {
    return fieldType::Text;
  }
  if (upper.empty() || contains(upper, "BLOB")) return fieldType::LongBinary;
  return fieldType::Double;
}

MsgValue valueOf(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL: return std::monostate{};
    case SQLITE_INTEGER: return static_cast<int64_t>(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT: return sqlite3_column_double(stmt, column);
    default: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      const int size = sqlite3_column_bytes(stmt, column);
      return bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string();
    }
  }
}

std::vector<MsgField> currentRow(sqlite3_stmt* stmt) {
  std::vector<MsgField> row;
  const int count = sqlite3_column_count(stmt);
  for (int column = 0; column < count; ++column) {
    const char* name = sqlite3_column_name(stmt, column);
    row.push_back({name ? name : "", fieldTypeOf(stmt, column), valueOf(stmt, column)});
  }
  return row;
}

// Every page the lookups can reach is read once: the b-trees by the
// database's own check, the messages themselves by reading the table whole.
// The catalogue is small, and a damaged or empty one found here is one that
// start-up can still report instead of every later message failing.
bool catalogueReadable(sqlite3* db) {
  Stmt check = prepare(db, "PRAGMA quick_check");
  if (!check || sqlite3_step(check.get()) != SQLITE_ROW) return false;
  const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
  if (verdict == nullptr || std::string(verdict) != "ok" ||
      sqlite3_step(check.get()) != SQLITE_DONE)
    return false;
  check.reset();

  Stmt messages = prepare(db, "SELECT CODE, MSG, DLGFLG FROM t_MSG");
  if (!messages) return false;
  int rc;
  while ((rc = sqlite3_step(messages.get())) == SQLITE_ROW) {
    for (int column = 0; column < 3; ++column) sqlite3_column_bytes(messages.get(), column);
  }
  return rc == SQLITE_DONE;
}

}  // namespace

namespace detail {

void msgDbRelease() {
  Catalogue& c = catalogue();
  c.recordset.reset();
  c.db.reset();
}

int32_t msgDbOpen(const std::string& path, const std::string& password) {
  // The catalogue is only read; an installed copy need not be writable.
  int rc = SQLITE_OK;
  Db db = sqlite::open(path, SQLITE_OPEN_READONLY, rc);
  if (rc != SQLITE_OK) return err::FileNotFound;
  if (!password.empty() && !sqlite::key(db.get(), password)) return err::PermissionDenied;
  // The key is only tried at the first read: a wrong one makes the file
  // look like no database at all.
  const int check =
      sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (check == SQLITE_NOTADB) return err::PermissionDenied;
  if (check != SQLITE_OK || !catalogueReadable(db.get())) return err::PathFileAccess;
  catalogue().db = std::move(db);
  return err::None;
}

}  // namespace detail

bool MsgDbOpenRecordSet(const std::string& query) {
  try {
    Catalogue& c = catalogue();
    c.recordset.reset();
    if (!c.db) return false;
    Stmt stmt = prepare(c.db.get(), query.c_str());
    if (!stmt) return false;
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) {
      c.recordCount = 0;
      c.recordset = std::move(stmt);
      return true;
    }
    if (rc != SQLITE_ROW) return false;
    std::vector<MsgField> first = currentRow(stmt.get());
    int32_t count = 1;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) ++count;
    if (rc != SQLITE_DONE) return false;
    // Back to the start, so the result holds no read lock while it is kept.
    sqlite3_reset(stmt.get());
    c.recordCount = count;
    c.fieldCount = static_cast<int32_t>(first.size());
    c.fields = std::move(first);
    c.recordset = std::move(stmt);
    return true;
  } catch (...) {
    return false;
  }
}

const MsgField* MsgDbFields(int32_t index) {
  const Catalogue& c = catalogue();
  if (index < 0 || index > c.fieldCount - 1 || static_cast<std::size_t>(index) >= c.fields.size()) {
    return nullptr;
  }
  return &c.fields[static_cast<std::size_t>(index)];
}

MsgValue MsgDbCnvFld(const MsgField* field) {
  try {
    if (!field) return std::monostate{};
    if (std::holds_alternative<std::monostate>(field->value)) {
      if (field->type >= 2 && field->type <= 7) return int64_t{0};
      if (field->type == fieldType::Date) return std::string("1000/01/01");
      return std::string(" ");
    }
    if (field->type != fieldType::Date) return field->value;
    // A date as its digits alone: 2002/04/09 17:05:33 gives 20020409170533.
    std::string digits;
    if (const auto* text = std::get_if<std::string>(&field->value)) {
      for (const char c : *text) {
        if (c >= '0' && c <= '9') digits += c;
      }
    } else if (const auto* number = std::get_if<int64_t>(&field->value)) {
      digits = std::to_string(*number);
    }
    return digits;
  } catch (...) {
    return std::monostate{};
  }
}

int32_t MsgDbRecordCount() { return catalogue().recordCount; }

}  // namespace msifter::common
