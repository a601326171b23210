// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SQLite handles, for the settings store and the message catalogue alike.
// Each is owned by one object: a connection is closed, a statement
// finalized, exactly once, when its owner goes or is reset.
#include <sqlite3.h>

#include <memory>
#include <string>

namespace msifter::common::sqlite {

struct Release {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Connection = std::unique_ptr<sqlite3, Release>;
using Statement = std::unique_ptr<sqlite3_stmt, Release>;

// sqlite3_open_v2. The connection comes back even when `rc` is a failure, so
// that its message can still be read.
Connection open(const std::string& path, int flags, int& rc);
// One statement; empty on failure, with `rc` saying why.
Statement prepare(sqlite3* db, const char* sql, int& rc);
Statement prepare(sqlite3* db, const char* sql);
// A statement without results; true when it succeeded.
bool exec(sqlite3* db, const char* sql);
// Keys an encrypted database (the message catalogue) with `password`, in as
// many rounds as the build made it with; true when the library took both.
bool key(sqlite3* db, const std::string& password);

}  // namespace msifter::common::sqlite
