// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The order in which the finder takes a folder's entries: ordinal order of
// the upper-cased names (common::upperCase, as NTFS keeps them), ties broken
// by the raw bytes. File systems here deliver entries in hash order; sorting
// keeps "the first N files" of a count limit the same files on every run.
#include <string>
#include <vector>

namespace msifter::platform {
struct DirEntry;
}

namespace msifter::engine {

bool folderOrderLess(const std::string& a, const std::string& b);

// Puts one folder's entries, as Directory::read gives them, in that order.
void sortInFolderOrder(std::vector<platform::DirEntry>& entries);

}  // namespace msifter::engine
