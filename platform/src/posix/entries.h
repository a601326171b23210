// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders and small files read through the seam, for the look-ups and tree
// walks outside the transfer's hot paths.
#include <dirent.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "platform/syscalls.h"

namespace msifter::platform {

// Calls `visit` with each entry of the folder open at `dirFd`, "." and ".."
// left out, until it returns false. The folder is read through a
// descriptor of its own, so `dirFd` stays open as it was. Every listing of
// a folder goes through here.
OsError forEachEntryUntil(int dirFd, const std::function<bool(const dirent&)>& visit);
// The same, for every entry.
OsError forEachEntry(int dirFd, const std::function<void(const dirent&)>& visit);

// Opens the subfolder `name` of the folder at `dirFd` without following a
// link: ELOOP when `name` is a link, ENOTDIR when it is anything else but a
// folder.
OsError openSubfolder(int dirFd, const std::string& name, UniqueFd& folder);

// The whole contents of a small file: a mount table, a sysfs flag, a
// configuration file.
OsError readWholeFile(const std::string& path, std::string& out);

// The target of the link at `path`.
OsError readLink(const std::string& path, std::string& target);
// The target of the link `name` in the folder at `dirFd`.
OsError readLinkAt(int dirFd, const char* name, std::string& target);

// Writes all of `bytes`, again after an interrupted or short write.
OsError writeAll(int fd, std::string_view bytes);

// The folder part and the last component of a path ("a/b" -> "a", "b").
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

}  // namespace msifter::platform
