// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Filling a new file from an open source: contents (holes kept, blocks
// shared where the file system can), then owner, extended attributes, mode
// and times. Shared by single files and folder trees.
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace msifter::platform {

// Fills `out` from `in`, whose state when opened is `source`. The owner is
// kept on request (where permitted); set-user-ID and set-group-ID stay only
// with the owner and group they were set for. What the destination cannot
// keep (an owner, a mode, an attribute) is left behind, as mv leaves it.
// Fails with EAGAIN when the source changed while it was read. Creating
// `out` with newFileMode() mostly spares changing its mode.
OsError fillCopy(int in, const struct stat& source, int out, bool keepOwner);

// The mode to create a copy with: the source's, writable by its owner
// until it is filled, without set-ID bits until its owner is known.
mode_t newFileMode(const struct stat& source);

// A fresh name for a temporary beside the final names:
// ".m_sifter-PID-<kind>N-<token>.part", where the token carries a check
// of the rest that isOwnTemporary() tests.
std::string temporaryName(const char* kind);

// A temporary that this program named: the pattern and its check. A user's
// ".m_sifter-notes.part" only looks like one (isTransferTemporary).
bool isOwnTemporary(std::string_view name);

// Whether two looks at a name show the very same file, unchanged.
bool sameFile(const struct stat& a, const struct stat& b);

}  // namespace msifter::platform
