// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole paths made, removed and appended to, outside a transfer: folders
// with their parents, folder trees, the error log. Every call goes through
// syscalls().
#include <string>

#include "platform/os_error.h"

namespace msifter::platform {

// Makes `folder` and whatever parents it lacks, each with `mode` (less the
// umask; 0700: the owner's alone). An existing folder is fine; anything
// else in the way is ENOTDIR.
OsError makeFolders(const std::string& folder, unsigned mode);

// Removes the entry at `path` and, for a folder, everything in it. A link
// is removed, never followed; an entry that is already gone counts as
// removed. Stops at the first entry that cannot be removed.
OsError removeTree(const std::string& path);

// Appends `bytes` to the file at `path`, creating it readable by its owner
// only. Never follows a link and never writes into anything but a regular
// file of this user: in a folder all users share, a file another user made
// in advance would let that user read what is written.
OsError appendToOwnFile(const std::string& path, const std::string& bytes);
// True when `path` itself (not a link) is a regular file of this user: one
// that appendToOwnFile may have written.
bool isOwnFile(const std::string& path);

}  // namespace msifter::platform
