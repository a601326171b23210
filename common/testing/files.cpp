// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace msifter::testing {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Tree treeOf(const fs::path& root) {
  Tree tree;
  if (!fs::exists(root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (fs::is_regular_file(entry.symlink_status()))
      tree[fs::relative(entry.path(), root).string()] = readText(entry.path());
  }
  return tree;
}

}  // namespace msifter::testing
