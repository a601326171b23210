// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_models.h"

#include "history_texts.h"
#include "ui/appearance.h"

namespace msifter::ui::history {

namespace {

enum RunColumn { Started, Operation, Files, Bytes, Result, Undo, Source, Destination, RunColumns };
const char* const kRunHeaders[RunColumns] = {"日時", "操作",     "ファイル数", "バイト数",
                                             "結果", "取り消し", "移動元",     "移動先"};

enum FileColumn { FileSource, FileDestination, FileUndo, FileColumns };
const char* const kFileHeaders[FileColumns] = {"移動元", "新しいパス", "取り消し"};

QVariant runText(const RunRow& run, int column) {
  switch (column) {
    case Started: return QString::fromStdString(startedText(run.startedSeconds));
    case Operation: return QString::fromUtf8(operationWord(run));
    case Files: return QString::number(run.files);
    case Bytes: return QString::number(run.bytes);
    case Result: return QString::fromUtf8(resultWord(run));
    case Undo: return QString::fromUtf8(undoWord(run));
    case Source: return displayPath(run.source);
    case Destination: return displayPath(run.destination);
    default: return {};
  }
}

}  // namespace

RunListModel::RunListModel(QObject* parent) : RowListModel(kRunHeaders, parent) {}

int RunListModel::rowOf(const std::string& id) const {
  for (std::size_t i = 0; i < rows().size(); ++i) {
    if (rows()[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

QVariant RunListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const RunRow& run = at(index.row());
  if (role == Qt::TextAlignmentRole && (index.column() == Files || index.column() == Bytes))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (role == Qt::ToolTipRole && index.column() >= Source) return runText(run, index.column());
  if (role == Qt::ToolTipRole && index.column() == Started)
    return QString::fromUtf8("実行 ") + QString::fromStdString(run.id);
  if (role != Qt::DisplayRole) return {};
  return runText(run, index.column());
}

FileListModel::FileListModel(QObject* parent) : RowListModel(kFileHeaders, parent) {}

void FileListModel::setRefusals(std::map<int64_t, std::string> reasons) {
  refusals_ = std::move(reasons);
  if (!rows().empty())
    emit dataChanged(index(0, FileUndo), index(rowCount() - 1, FileUndo), {Qt::DisplayRole});
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const FileRow& file = at(index.row());
  switch (index.column()) {
    case FileSource: return displayPath(file.source);
    case FileDestination: return displayPath(file.destination);
    case FileUndo: {
      if (file.undone) return QString::fromUtf8("取り消し済み");
      const auto reason = refusals_.find(file.number);
      return reason == refusals_.end() ? QString() : QString::fromStdString(reason->second);
    }
    default: return {};
  }
}

}  // namespace msifter::ui::history
