// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/failure_reason.h"

#include <cerrno>

#include "common/failure.h"

namespace msifter::common {

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
    case ELOOP: return "フォルダがリンクに置き換えられていたため、その先には触れませんでした。";
    case EIO: return "入出力エラーです。";
    case EXDEV: return "別のファイルシステムへは移せない種類のファイルです。";
    default: break;
  }
  // Without the system's word, only the name planner gives this number.
  if (number == err::BadFileName && error == 0)
    return "拡張子が長すぎて、新しい名前がファイル名の長さの上限に収まりません。";
  if (number == 0 && error != 0) number = errorNumberFromErrno(error);
  return standardDescription(number);
}

}  // namespace msifter::common
