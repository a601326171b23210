// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths as texts: one trailing separator or none, and whether a folder is
// there.
#include <string>
#include <string_view>

namespace msifter::common {

// Path with one trailing separator; "" gives the separator alone.
std::string gAddBackslash(std::string_view path);
// Path without one trailing separator; "False" after a failure.
std::string gUnRoot(std::string path);
// Whether something other than "." or ".." is found at the path, the folder
// or file itself (the root folder included). skipDriveTest matters only
// where drives have letters.
bool gChkDirExists(std::string path, bool skipDriveTest);
// Whether the folder `inner` is the folder `outer` or lies anywhere below
// it, told by device and inode (links, "..", a second mount of one folder
// all count); false when either cannot be looked at.
bool folderWithin(const std::string& inner, const std::string& outer);

}  // namespace msifter::common
