// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_texts.h"

#include <QDateTime>

namespace msifter::ui::history {

namespace {

// Refusals listed in a box; the rest are in the files list.
constexpr std::size_t kRefusalsShown = 10;

// A path inside a sentence: a line break in a name must not break the box's lines.
std::string shown(const std::string& path) {
  std::string text = path;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

std::string files(int64_t count) { return std::to_string(count) + " ファイル"; }

std::string refusalLines(const UndoTally& tally) {
  std::string text;
  for (std::size_t i = 0; i < tally.refused.size() && i < kRefusalsShown; ++i) {
    const UndoRefusal& r = tally.refused[i];
    text += "\n元に戻せません: " + shown(r.destination) + " → " + shown(r.source) + "（" +
            r.reason + "）";
  }
  if (tally.refused.size() > kRefusalsShown) {
    text += "\n…ほか " + files(static_cast<int64_t>(tally.refused.size() - kRefusalsShown)) +
            "（理由はファイルの一覧にあります）";
  }
  return text;
}

}  // namespace

std::string startedText(int64_t seconds) {
  return QDateTime::fromSecsSinceEpoch(seconds)
      .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
      .toStdString();
}

std::string operationWord(const RunRow& run) { return run.copy ? "コピー" : "移動"; }

std::string resultWord(const RunRow& run) { return run.endWord + run.notes; }

std::string undoWord(const RunRow& run) {
  if (run.undoneFiles == 0) return "未取り消し";
  return run.undoneFiles >= run.files ? "取り消し済み" : "一部取り消し済み";
}

std::string undoUnavailableReason(const RunRow& run) {
  if (run.result == RunResult::Running)
    return "この実行は記録の書き込み中です（実行中か、取り消しの最中です）。終わるまで元に戻せませ"
           "ん。";
  if (run.files == 0) return "この実行で移動・コピーしたファイルはありません。";
  if (run.undoneFiles >= run.files) return "この実行はすべて元に戻してあります。";
  return {};
}

std::string undoStatusText(const std::string& id, const UndoTally& tally) {
  const std::string run = "実行「" + shown(id) + "」";
  switch (tally.status) {
    case UndoStatus::Done: break;
    case UndoStatus::NoSuchRun: return run + "の記録はありません。";
    case UndoStatus::InUse: return run + "は実行中か、ほかで取り消しの最中です。";
    case UndoStatus::Unreadable: return run + "の記録を読めません。" + tally.statusReason;
  }
  return {};
}

std::string undoConfirmationText(const RunRow& run, const UndoTally& preview) {
  std::string text = "実行 " + run.id + "（" + startedText(run.startedSeconds) + "、" +
                     operationWord(run) + "）を元に戻します。";
  if (preview.movedBack > 0) {
    text += "\n移動先「" + shown(run.destination) + "」から移動元「" + shown(run.source) + "」へ " +
            files(preview.movedBack) + "を戻します。";
  }
  if (preview.copiesRemoved > 0) {
    text += "\n移動先「" + shown(run.destination) + "」のコピー " + files(preview.copiesRemoved) +
            "を削除します（コピー元は移動元に残っています）。";
  }
  if (!preview.refused.empty()) {
    text += "\n戻せない " + files(static_cast<int64_t>(preview.refused.size())) +
            "はそのまま残します。" + refusalLines(preview);
  }
  return text + "\nよろしいですか？";
}

std::string nothingToUndoText(const UndoTally& preview) {
  std::string text = "元に戻せるファイルはありません。";
  if (preview.alreadyUndone > 0) text += "\n既に取り消し済み " + files(preview.alreadyUndone);
  return text + refusalLines(preview);
}

std::string undoResultText(const RunRow& run, const UndoTally& done) {
  std::string text = "取り消し結果： 実行 " + run.id + "   元に戻した " +
                     files(done.movedBack + done.copiesRemoved) + "   戻せなかった " +
                     files(static_cast<int64_t>(done.refused.size()));
  if (done.alreadyUndone > 0) text += "   既に取り消し済み " + files(done.alreadyUndone);
  text += refusalLines(done);
  if (!done.markFailure.empty())
    text += "\n元に戻したことを記録に書き込めませんでした。" + done.markFailure;
  return text;
}

}  // namespace msifter::ui::history
