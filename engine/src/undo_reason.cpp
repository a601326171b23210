// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/undo_reason.h"

#include "common/failure_reason.h"

namespace msifter::engine {

std::string_view undoReason(UndoOutcome outcome) {
  switch (outcome) {
    case UndoOutcome::Undone: return "元に戻しました";
    case UndoOutcome::WouldUndo: return "元に戻します";
    case UndoOutcome::AlreadyUndone: return "既に元に戻してあります";
    case UndoOutcome::Missing: return "移動先にファイルがありません";
    case UndoOutcome::Changed: return "実行の後で変更されています";
    case UndoOutcome::NameTaken: return "元の場所に別のファイルがあります";
    case UndoOutcome::FolderMissing:
      return "元のフォルダがありません（カードが接続されていないのかもしれません）";
    case UndoOutcome::OriginalMissing: return "コピー元が元の場所にないため、コピーを残しました";
    case UndoOutcome::Outside:
      return "記録されたパスが実行時のフォルダの外か、リンクの先を指しています";
    case UndoOutcome::Failed: break;
  }
  return "システムに拒否されました";
}

std::string undoItemReason(const UndoItem& item) {
  std::string reason(undoReason(item.outcome));
  if (item.outcome == UndoOutcome::Failed && item.error != 0)
    reason += ": " + common::failureReason(0, item.error);
  return reason;
}

}  // namespace msifter::engine
