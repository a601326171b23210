// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SQLite files made and read by tests directly, past the program's own
// layers: a keyed message catalogue, and any statement on a database file.
#include <filesystem>
#include <string>

#include "common/catalogue_key.h"

namespace msifter::testing {

// Runs `sql` on the database at `path`, made when missing, keyed with
// `password` unless it is empty. False when any of it failed.
bool runSql(const std::filesystem::path& path, const std::string& sql,
            const std::string& password = "");

// A message catalogue as the build makes sys/msg from msg.sql.
inline bool writeCatalogue(const std::filesystem::path& path, const std::string& sql,
                           const std::string& password = common::kMsgPassword) {
  return runSql(path, sql, password);
}

// The first column of the first row of `query`, as text; "" when there is
// none or the file cannot be read.
std::string firstValue(const std::filesystem::path& path, const std::string& query);

}  // namespace msifter::testing
