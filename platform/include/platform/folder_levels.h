// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders a run makes below its destination (folders by date), one level
// at a time beneath the level above, never through a link; and their
// removal by undo once they are empty.
#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

// The folder `name` (one level, no "/") beneath the folder open at
// `parentFd`, opened; with `make`, made first when it is missing (`made`
// then says whether this call made it). ELOOP when `name` is a link,
// ENOTDIR when it is something else than a folder, ENOENT when it is
// missing and not to be made.
OsError openFolderLevel(int parentFd, const std::string& name, bool make, UniqueFd& folder,
                        bool& made);

// Removes the folder `relative` ("2024/05/01") beneath the folder `root`
// when it is empty, reaching it through no link: ENOTEMPTY (or EEXIST)
// when it holds anything, ENOENT when it is gone, ELOOP or EXDEV when it
// cannot be reached beneath `root` without a link or "..".
OsError removeEmptyFolderBeneath(const std::string& root, std::string_view relative);

}  // namespace msifter::platform
