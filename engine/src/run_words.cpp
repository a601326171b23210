// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_words.h"

namespace msifter::engine {

std::string_view runEndWord(const RunSummary& run) {
  if (run.inUse) return "実行中";
  switch (run.end) {
    case RunEnd::Completed: return "完了";
    case RunEnd::Failed: return "失敗";
    case RunEnd::Interrupted:
    case RunEnd::Unfinished: break;
  }
  return "中断";
}

std::string_view undoStateWord(UndoState state) {
  switch (state) {
    case UndoState::NotUndone: break;
    case UndoState::PartlyUndone: return "一部取り消し済み";
    case UndoState::Undone: return "取り消し済み";
  }
  return "未取り消し";
}

std::string runNotes(const RunSummary& run) {
  std::string text;
  if (run.damaged) text += "（記録の一部が読めません）";
  if (run.unclearFiles > 0)
    text += "（" + std::to_string(run.unclearFiles) + " ファイルは移動元と移動先を確かめて下さい）";
  if (run.pendingFiles > 0 && !run.inUse)
    text += "（" + std::to_string(run.pendingFiles) +
            " ファイルは移動元のフォルダが見つからず、まだ確かめていません）";
  return text;
}

}  // namespace msifter::engine
