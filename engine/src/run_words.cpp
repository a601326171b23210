// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_words.h"

#include <cerrno>

#include "common/failure_reason.h"

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
  if (run.unbackedFiles > 0 && !run.inUse)
    text += "（" + std::to_string(run.unbackedFiles) + " ファイルはバックアップがありません）";
  return text;
}

namespace {

struct MissingBackupRow {
  int error;
  std::string_view code;
  std::string_view text;  // empty: the system's reason
};

constexpr MissingBackupRow kMissingBackups[] = {
    {0, "backup-not-made", "まだ作っていません"},
    {ENOENT, "backup-folder-missing", "バックアップ先のフォルダが見つかりません"},
    {ENOSPC, "backup-full", "バックアップ先の空き容量が足りません"},
    {EDQUOT, "backup-full", "バックアップ先の空き容量が足りません"},
    {EROFS, "backup-read-only", "バックアップ先が読み取り専用です"},
    {EEXIST, "backup-name-taken", "バックアップ先の同じ名前に別のファイルがあります"},
    {ESTALE, "new-file-changed", "移動先のファイルが実行の後で変わっています"},
};

}  // namespace

std::string_view missingBackupCode(int error) {
  for (const MissingBackupRow& row : kMissingBackups) {
    if (row.error == error) return row.code;
  }
  return "backup-failed";
}

std::string missingBackupText(int error) {
  std::string cause;
  for (const MissingBackupRow& row : kMissingBackups) {
    if (row.error == error) cause = row.text;
  }
  if (cause.empty()) {
    cause = common::failureReason(0, error);
    // The system's reason is a sentence; here it stands in brackets.
    if (cause.ends_with("。")) cause.resize(cause.size() - std::string_view("。").size());
  }
  return "バックアップなし（" + cause + "）";
}

}  // namespace msifter::engine
