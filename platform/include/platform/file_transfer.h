// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file operation service: move, copy, rename, delete and the trash, over
// POSIX calls, driven by the option bits of the shell's file operation.
//
// Nothing here ever replaces an existing file: a taken destination is
// refused atomically (RENAME_NOREPLACE, linkat; on cards, which have
// neither, the name is claimed with O_EXCL first), also when it appears
// while the operation runs. Single files go through DestinationFolder (see
// destination_folder.h): no partial file ever carries a final name, and a
// moved source is removed only after its copy is on disk. A copy keeps what
// the destination can keep (docs/architecture.md, "What each file system
// keeps").
#include <cstdint>
#include <string>

#include "platform/os_error.h"

namespace msifter::platform {

// The operations and option bits of the shell's file operation request,
// under the names and numbers it gives them.
enum FileFunction : uint32_t { FO_MOVE = 1, FO_COPY = 2, FO_DELETE = 3, FO_RENAME = 4 };
inline constexpr uint32_t FOF_SILENT = 0x0004;
inline constexpr uint32_t FOF_RENAMEONCOLLISION = 0x0008;
inline constexpr uint32_t FOF_NOCONFIRMATION = 0x0010;
inline constexpr uint32_t FOF_ALLOWUNDO = 0x0040;
inline constexpr uint32_t FOF_SIMPLEPROGRESS = 0x0100;
inline constexpr uint32_t FOF_NOCONFIRMMKDIR = 0x0200;

// Moves one file or folder to exactly `to`. A file between file systems is
// copied with its mode, owner, times, extended attributes and holes as far
// as the destination keeps them, flushed,
// and only then is the source removed (if it still is the file that was
// copied); any failure leaves the source as it was and no copy. A link is
// moved as the link itself. A folder between file systems is copied under a
// temporary name, flushed, renamed into place, then removed. A taken `to`
// fails as a taken name (OsError::nameTaken).
OsError moveFile(const std::string& from, const std::string& to);

// Copies one file (a link is followed) or folder tree to exactly `to`,
// keeping modes, owners where permitted, times, extended attributes and
// holes. The source is never touched; copies are not flushed (as cp).
OsError copyFile(const std::string& from, const std::string& to);

// What the last fileOperation() found, for callers that pick another name
// themselves when the target is taken.
struct FileOperationReport {
  bool targetExisted = false;
  std::string finalPath;  // where the source ended up
};

// One shell-style operation. The rules where the shell would have asked
// somebody:
// - an existing target is never replaced: the result is EEXIST, unless
//   FOF_RENAMEONCOLLISION gives the new file a free name ("name (2).ext");
// - a missing destination folder is created only with FOF_NOCONFIRMMKDIR or
//   FOF_NOCONFIRMATION, otherwise the result is ENOENT.
// A destination that ends in "/" names the folder to move or copy into;
// otherwise it is the new path itself. FO_DELETE with FOF_ALLOWUNDO goes to
// the trash; FO_RENAME is a move within one file system.
OsError fileOperation(FileFunction function, const std::string& from, const std::string& to,
                      uint32_t flags, FileOperationReport* report = nullptr);

// Moves a file or folder to the user's freedesktop.org trash (the home
// trash, or the trash at the top of the file system it lives on).
OsError moveToTrash(const std::string& path);

}  // namespace msifter::platform
