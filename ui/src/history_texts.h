// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the history window says: its columns' words and the texts of its
// confirmation and result boxes.
#include <string>

#include "run_history.h"

namespace msifter::ui::history {

// "2024/01/05 14:30:00", local time.
std::string startedText(int64_t seconds);
std::string operationWord(const RunRow& run);
// 完了, 失敗, 中断 or 実行中, with a note when part of the journal is unreadable.
std::string resultWord(const RunRow& run);
std::string undoWord(const RunRow& run);
// Why the run cannot be taken back; empty when it can.
std::string undoUnavailableReason(const RunRow& run);

// The box when the run could not be looked at.
std::string undoStatusText(const std::string& id, const UndoTally& tally);
// The confirmation after a dry run that found files to take back.
std::string undoConfirmationText(const RunRow& run, const UndoTally& preview);
// The box after a dry run that found nothing to take back.
std::string nothingToUndoText(const UndoTally& preview);
// The box after the undo.
std::string undoResultText(const RunRow& run, const UndoTally& done);

}  // namespace msifter::ui::history
