// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folders a run made below its destination (folders by date), taken
// back by undo once they are empty.
#include <string>
#include <vector>

namespace msifter::engine::detail {

// Removes each of `folders` (as the journal recorded them, a folder before
// the folders in it) that is empty now, the deepest first, reaching it
// below `destination` through no link. A folder that holds anything stays,
// and so does its parent. The folders removed, in that order.
std::vector<std::string> removeEmptyMadeFolders(const std::vector<std::string>& folders,
                                                const std::string& destination);

}  // namespace msifter::engine::detail
