// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The files the program keeps for itself and reads back: the run journals,
// the lock files beside them and the instance lock. Each lives in a folder
// of the user's own, is opened relative to that folder and never through a
// link, and is written at chosen offsets, so that a journal can reserve its
// room ahead and be cut back to its last whole line.
//
// Descriptors are plain numbers here (UniqueFd::get()); every call goes
// through the seam, so a test can make any of them fail or kill the
// process before it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"
#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

enum class Missing { Make, Fail };

// Opens `base` (a link to it is followed: the user's setting names it) and
// then each of `below` in turn beneath it, never through a link. With
// Missing::Make the folders are made first, readable by their owner alone;
// a failure to make one that is there anyway (a read-only file system)
// matters only when it cannot be opened either.
OsError openOwnFolder(const std::string& base, const std::vector<std::string>& below,
                      Missing missing, UniqueFd& folder);

enum class OpenFor { Reading, Writing };

// The regular file `name` in the folder open at `folderFd`: never through a
// link (ELOOP), never waiting on a pipe put in its place; anything but a
// regular file is EINVAL. Writing opens it for reading as well.
OsError openFileIn(int folderFd, const std::string& name, OpenFor purpose, UniqueFd& file);
// A new file `name` there, for reading and writing, its owner's alone;
// EEXIST (nameTaken()) when the name is in use, whatever holds it.
OsError createFileIn(int folderFd, const std::string& name, UniqueFd& file);
// The lock file `name` there, made (its owner's alone) when missing.
OsError openLockFileIn(int folderFd, const std::string& name, UniqueFd& file);
// The lock file at `path`, made (its owner's alone) when missing: a regular
// file of this user (EINVAL for anything else, EACCES for another user's,
// so that no user can keep another from a lock). Read-only, so that an
// existing lock file still serves in a folder that became read-only.
OsError openOwnLockFile(const std::string& path, UniqueFd& file);

enum class LockMode { Shared, Exclusive };
enum class LockWait { Wait, DontWait };

// Locks the whole file open at `fd` until the descriptor is closed, which
// the holder's death does too. LockWait::DontWait fails at once with
// heldElsewhere() while another holds it; a wait goes on through signals.
// A file system without locks fails with its own error (ENOLCK, EOPNOTSUPP).
OsError lockFile(int fd, LockMode mode, LockWait wait);

// Writes all of `bytes` at `offset`, again after a signal or a short write;
// a write that takes nothing is a full disk (ENOSPC).
OsError writeAt(int fd, int64_t offset, std::string_view bytes);
// Allocates `length` bytes from `offset`, the file's length extended to
// cover them. EOPNOTSUPP or ENOSYS where the file system cannot.
OsError reserveRoom(int fd, int64_t offset, int64_t length);
// Cuts the file (or extends it with zeros) to `length` bytes.
OsError truncateFile(int fd, int64_t length);
// The file's bytes and what reading them back needs (its length) on disk.
OsError syncData(int fd);
// All of the file, or of the folder, on disk: for a folder, its entries.
OsError syncFile(int fd);
// The entries of the folder at `path` on disk: a name made or removed there
// survives a power cut.
OsError syncFolder(const std::string& path);
// The same only while `path` still names the folder `folder` (its device
// and inode): ENOTDIR when another has taken its place.
OsError syncSameFolder(const std::string& path, const FileIdentity& folder);

// One read of at most `count` bytes at `offset`; `got` 0 at the end.
OsError readAt(int fd, int64_t offset, void* buffer, std::size_t count, std::size_t& got);
// Everything in the file, from its first byte to its end.
OsError readWhole(int fd, std::string& out);
// The identity of what is open at `fd`.
OsError identityOfOpen(int fd, FileIdentity& identity);

// Removes the entry `path` (never a folder; a link itself, not its target).
OsError removeFile(const std::string& path);
// Removes the entry `name` of the folder open at `folderFd`, as removeFile.
OsError removeFileAt(int folderFd, const std::string& name);
// Gives the file `from` the name `to`, replacing what `to` named: only for
// files of the program's own, such as a store rebuilt beside itself.
OsError replaceFile(const std::string& from, const std::string& to);

}  // namespace msifter::platform
