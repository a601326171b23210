// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pieces of a file's path that a new name is built from.
#include <string>

namespace msifter::engine {

// The extension of the file name, without its dot; "" when it has none.
std::string gGetFileExt(const std::string& path);
// The file name without its folder, its last dot and what follows it; a
// single space after a failure.
std::string gGetFileNameOnly(const std::string& path);

}  // namespace msifter::engine
