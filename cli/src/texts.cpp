#include "cli/texts.h"

#include <cerrno>
#include <cstdio>

#include "common/failure.h"

namespace msifter::cli {

using engine::UndoOutcome;

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

std::string failureReason(int32_t number, int error) {
  switch (error) {
    case EAGAIN: return "移動の途中で移動元のファイルが書き換えられたため、移動元に残しました。";
    case EEXIST: return "空いている名前がありません。";
    case ENOSPC:
    case EDQUOT: return "ディスクの空き容量が不足しています。";
    case ENOENT: return "ファイルが見つかりません。";
    case EACCES:
    case EPERM: return "アクセスが拒否されました。";
    case EROFS: return "読み取り専用のファイルシステムです。";
    case EISDIR: return "ファイルではなくフォルダです。";
    case ENOTDIR: return "フォルダがないか、別のものに置き換えられています。";
    case EIO: return "入出力エラーです。";
    case EXDEV: return "別のファイルシステムへは移せない種類のファイルです。";
    default: break;
  }
  // Without the system's word, only the name planner gives this number.
  if (number == common::err::BadFileName && error == 0)
    return "拡張子が長すぎて、新しい名前がファイル名の長さの上限に収まりません。";
  if (number == 0 && error != 0) number = common::errorNumberFromErrno(error);
  return common::standardDescription(number);
}

std::string displayPath(std::string_view path) {
  std::string shown(path);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

void printLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace msifter::cli
