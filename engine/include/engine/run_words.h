// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a run ended and what its journal says beside that, in the words the
// window's history and the command line's both show.
#include <string>
#include <string_view>

#include "engine/journal.h"

namespace msifter::engine {

// 実行中, 完了, 失敗 or 中断.
std::string_view runEndWord(const RunSummary& run);
// 未取り消し, 一部取り消し済み or 取り消し済み.
std::string_view undoStateWord(UndoState state);
// What the journal says beside the end: lines it could not read, files a
// look after an interruption left for the user to check, files it could not
// look at yet. Empty when there is nothing to say.
std::string runNotes(const RunSummary& run);

// Why a file of a run with a backup folder has no copy there, from the
// errno its journal records (0: not made yet): a code a script can test
// ("backup-folder-missing", "backup-full", ...) and the words history shows
// beside the file ("バックアップなし（…）").
std::string_view missingBackupCode(int error);
std::string missingBackupText(int error);

}  // namespace msifter::engine
