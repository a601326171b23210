// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A folder tree looked at folder by folder from one open root, for an
// index that keeps what it saw between runs and lists again only the
// folders that changed. Links are never followed: a link is neither a file
// nor a folder of the tree. Transfer temporaries are never files.
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/file_identity.h"
#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

// Opens the root of a tree (a link to it is followed: the user named it).
OsError openTreeRoot(const std::string& path, UniqueFd& root, FileIdentity& identity);

// The identity of the folder `relative` ("a/b") under `rootFd`; ENOTDIR
// when it is a link or no folder.
OsError folderIdentity(int rootFd, const std::string& relative, FileIdentity& identity);

// The regular files and folders directly in the folder `relative` under
// `rootFd` ("" for the root). `identity` is the folder's own, as it was
// before the listing began, so a change during the listing shows later.
// An entry that vanishes while the folder is read is left out.
OsError listFolder(int rootFd, const std::string& relative, FileIdentity& identity,
                   std::vector<FolderEntry>& entries);

}  // namespace msifter::platform
