// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keys --json writes, one list for the plan (run --dry-run), the result
// of a run, history and undo, so that a script reads each of them the same
// way. Older keys stay beside them (the plan's "files" list, the result's
// "transferred" and "copy", history's "end" and "undo").
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json.h"
#include "engine/transfer_options.h"

namespace msifter::cli::key {

// Of a document: which command, and of which run.
inline constexpr std::string_view Command = "command";
inline constexpr std::string_view DryRun = "dry_run";
inline constexpr std::string_view Run = "run";
inline constexpr std::string_view Started = "started";  // ISO 8601 with its offset
inline constexpr std::string_view Finished = "finished";
inline constexpr std::string_view Options = "options";
inline constexpr std::string_view Error = "error";  // {code, message}
// Of a run and of each of its files.
inline constexpr std::string_view Operation = "operation";  // move | copy
inline constexpr std::string_view Status = "status";
inline constexpr std::string_view Source = "source";
inline constexpr std::string_view Destination = "destination";
inline constexpr std::string_view Bytes = "bytes";
// Counts of a run.
inline constexpr std::string_view Files = "files";
inline constexpr std::string_view Skipped = "skipped";
// A run's files, each an object of the keys above and below.
inline constexpr std::string_view Items = "items";
inline constexpr std::string_view DateSource = "date_source";  // of a capture-time name
inline constexpr std::string_view Identical = "identical";     // holds a skipped file's bytes
inline constexpr std::string_view Backup = "backup";  // the backup folder, or a file's copy there
// Why a file of a run with a backup folder has no copy there: {code, message}.
inline constexpr std::string_view BackupError = "backup_error";
inline constexpr std::string_view Undone = "undone";
inline constexpr std::string_view Code = "code";
inline constexpr std::string_view Message = "message";
// Of undo: the folders by date the run made that it took back, emptied.
inline constexpr std::string_view FoldersRemoved = "folders_removed";

}  // namespace msifter::cli::key

namespace msifter::cli {

// "2024-05-01T09:06:37+09:00": `seconds` since the epoch in local time.
std::string isoTime(int64_t seconds);
// A run's conditions, import options included: the one object a plan, a
// result and history write, so that each is found under the same key.
JsonObject optionsJson(const engine::TransferOptions& o);

}  // namespace msifter::cli
