// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The journal's lines: each record as it is written and read back.
//
//   mount      DEVICE PATH     (the root of a file system sources are on)
//   folder     PATH            (below the destination, to be made by the run)
//   intent     N  move|copy      SOURCE NEW-PATH SIZE TIME DEVICE INODE [DATE-SOURCE]
//                                (the source's; the date source of a capture-time name)
//   done       N  SIZE TIME DEVICE INODE  (the new file's, at its intent's new path,
//                                from its intent's source)
//   file       N  moved|copied   SOURCE NEW-PATH SIZE TIME DEVICE INODE  (the new file's)
//   backed-up  N  BACKUP-PATH DEVICE INODE  (after its file line: the backup's copy)
//   not-backed-up  N  ERRNO     (after its file line: why its backup could not be made)
//   outcome    N  untouched|dropped|both|missing|changed
//   skipped    SOURCE IDENTICAL  (left where it was: IDENTICAL holds its bytes)
//   ended      TIME FILES BYTES completed|failed|interrupted
//   undoing    N      undone  N      not-undone  N
//   closed                          (the last line when nothing is left open)
//
// after a header of the run's options. Fields are separated by tabs.
#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/journal.h"
#include "engine/mover.h"

namespace msifter::engine::detail {

inline constexpr std::string_view kFirstLine = "m_sifter journal 1\n";
inline constexpr std::string_view kSuffix = ".journal";
inline constexpr std::string_view kClosedLine = "closed\n";

// Relative paths are written as the absolute ones they meant, from `base`
// (the folder current when the run began).
std::string headerText(const TransferOptions& o, std::time_t started, const std::string& base);
std::string intentLine(const TransferIntent& intent, const std::string& base);
std::string fileLine(int64_t number, const TransferredFile& f, const std::string& base);
// The same, written at the end of `out`: a run writes two lines a file.
void appendIntentLine(std::string& out, const TransferIntent& intent, const std::string& base);
void appendFileLine(std::string& out, int64_t number, const TransferredFile& f,
                    const std::string& base);
void appendBackedUpLine(std::string& out, int64_t number, const BackupCopy& backup,
                        const std::string& base);
void appendNotBackedUpLine(std::string& out, int64_t number, int error);
std::string outcomeLine(int64_t number, LeftAs how);
void appendSkippedLine(std::string& out, const std::string& source, const std::string& identical,
                       const std::string& base);
std::string endedLine(std::time_t when, int64_t files, int64_t bytes, RunEnd end);
std::string undoingLine(int64_t number);
std::string undoneLine(int64_t number);
std::string notUndoneLine(int64_t number);
std::string mountLine(uint64_t device, const std::string& root);
std::string folderLine(const std::string& folder, const std::string& base);

// Where the sources' file systems had their roots, by device.
using MountRoots = std::map<uint64_t, std::string>;

// What a journal leaves to be settled by a look at the files.
struct OpenWork {
  std::map<int64_t, TransferIntent> intents;  // planned, without an outcome yet
  std::set<int64_t> undoing;                  // being undone, without an outcome yet
  // Transferred in a run with a backup folder, with neither a backup nor
  // the reason it has none: the look that settles the run makes it.
  std::vector<int64_t> unbacked;
  MountRoots mounts;
  bool ended = false;
  bool closed = false;  // its last line says that nothing is left open
};

// What the whole lines of a journal record; false when they record nothing.
bool parseJournal(std::string_view text, RunRecord& record, OpenWork& open);

}  // namespace msifter::engine::detail
