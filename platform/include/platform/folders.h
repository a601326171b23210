// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Path rules of the platform and the folder look-ups of the path object.
#include <cstdint>
#include <string>

#include "platform/os_error.h"

namespace msifter::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
// "C:" names a drive and "C:name" a path relative to that drive.
inline constexpr bool kDriveLetters = true;
#else
inline constexpr char kSeparator = '/';
// ":" is an ordinary file-name character.
inline constexpr bool kDriveLetters = false;
#endif

// The folder the process was started in (getcwd); "" when it cannot be
// told (it was removed, or its path is too long).
std::string currentFolder();

// `path` with every link, "." and ".." resolved, as the system resolves
// them when it opens the path (realpath). The path must exist.
OsError resolvedPath(const std::string& path, std::string& resolved);

// What a path names once links are followed.
enum class EntryKind { Missing, Folder, Other };
EntryKind entryKind(const std::string& path);

// The short (8.3) form of an existing path. There are no short names here,
// so it is the path itself; "" when the path does not exist.
std::string shortPathName(const std::string& path);

// The folder of the operating system and of its shared programs
// ("/usr" and "/usr/lib" here), without a trailing separator.
std::string windowsDirectory();
std::string systemDirectory();

// The folder for a shell special-folder number (0 desktop, 2 programs,
// 5 documents, 7 start-up, 11 start menu, 20 fonts), taken from the
// freedesktop.org user folders. "" for a number without a folder here.
std::string specialFolder(int32_t folderType);

// The program that opens `file`: the file itself when it is executable,
// otherwise xdg-open (which hands it to the desktop's associated program).
// Fails with ENOENT when the file does not exist or no program is known;
// `program` is set on success only.
OsError findExecutable(const std::string& file, std::string& program);

}  // namespace msifter::platform
