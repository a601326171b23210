#pragma once
// Appending to the error log, below the platform layer (common cannot use it).
#include <string>

namespace msifter::common::detail {

// Appends `bytes` to the file at `path` in one write, creating the file
// readable by its owner only. Never follows a link and never writes into
// anything but a regular file of this user. False when nothing was written.
bool appendToOwnFile(const std::string& path, const std::string& bytes);

}  // namespace msifter::common::detail
