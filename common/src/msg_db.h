// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open message database, shared by gMsgInit and the record layer.
#include <cstdint>
#include <string>

namespace msifter::common::detail {

// Releases the current result and the database.
void msgDbRelease();
// Opens the database, keyed with the password when there is one, and checks
// that the key fits and that the message table can be read whole. Returns 0,
// or the failure number.
int32_t msgDbOpen(const std::string& path, const std::string& password);

}  // namespace msifter::common::detail
