// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole files and folder trees as tests write and compare them.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace msifter::testing {

// A file's bytes; "" when it cannot be read.
std::string readText(const std::filesystem::path& path);

// Writes `text` as the whole file, making its folders first.
std::filesystem::path writeText(const std::filesystem::path& path, const std::string& text);

// The names of a folder's entries, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// The regular files below a folder, by their path below it, with their
// bytes. A link is not followed, so a file reached through one is not in the
// tree; a missing folder is an empty tree.
using Tree = std::map<std::string, std::string>;
Tree treeOf(const std::filesystem::path& root);

// A row of the tests of byte-for-byte comparisons: two files' bytes, and
// whether they are the same file content.
struct BytesCase {
  const char* what;
  std::string first;
  std::string second;
  bool same;
};

}  // namespace msifter::testing
