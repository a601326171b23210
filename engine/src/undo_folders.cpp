// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo_folders.h"

#include <algorithm>
#include <string_view>

#include "platform/folder_levels.h"

namespace msifter::engine::detail {

std::vector<std::string> removeEmptyMadeFolders(const std::vector<std::string>& folders,
                                                const std::string& destination) {
  std::string_view root = destination;
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  const std::string prefix = root == "/" ? std::string(root) : std::string(root) + "/";
  // A folder is recorded before the folders in it: in reverse, the deepest
  // come first.
  std::vector<std::string> order(folders.rbegin(), folders.rend());
  std::stable_sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  order.erase(std::unique(order.begin(), order.end()), order.end());
  std::vector<std::string> removed;
  for (const std::string& folder : order) {
    // A line that leads elsewhere is not ours to follow.
    if (folder.size() <= prefix.size() || !folder.starts_with(prefix)) continue;
    const std::string_view below = std::string_view(folder).substr(prefix.size());
    if (!platform::removeEmptyFolderBeneath(std::string(root), below)) removed.push_back(folder);
  }
  return removed;
}

}  // namespace msifter::engine::detail
