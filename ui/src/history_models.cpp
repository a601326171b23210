// SPDX-License-Identifier: GPL-3.0-or-later
#include "history_models.h"

#include <climits>

#include "history_texts.h"
#include "ui/appearance.h"

namespace msifter::ui::history {

namespace {

enum RunColumn { Started, Operation, Files, Bytes, Result, Undo, Source, Destination, RunColumns };
const char* const kRunHeaders[RunColumns] = {"日時", "操作",     "ファイル数", "バイト数",
                                             "結果", "取り消し", "移動元",     "移動先"};

enum FileColumn { FileSource, FileDestination, FileUndo, FileColumns };
const char* const kFileHeaders[FileColumns] = {"移動元", "新しいパス", "取り消し"};

int clampedRows(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

QVariant header(const char* const* names, int count, int section, Qt::Orientation orientation,
                int role) {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= count)
    return {};
  return QString::fromUtf8(names[section]);
}

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

void RunListModel::setRuns(std::vector<RunRow> runs) {
  beginResetModel();
  runs_ = std::move(runs);
  endResetModel();
}

int RunListModel::rowOf(const std::string& id) const {
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    if (runs_[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

int RunListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : clampedRows(runs_.size());
}

int RunListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RunColumns;
}

QVariant RunListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const RunRow& run = runs_[static_cast<std::size_t>(index.row())];
  if (role == Qt::TextAlignmentRole && (index.column() == Files || index.column() == Bytes))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (role == Qt::ToolTipRole && index.column() >= Source) return runText(run, index.column());
  if (role == Qt::ToolTipRole && index.column() == Started)
    return QString::fromUtf8("実行 ") + QString::fromStdString(run.id);
  if (role != Qt::DisplayRole) return {};
  return runText(run, index.column());
}

QVariant RunListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return header(kRunHeaders, RunColumns, section, orientation, role);
}

void FileListModel::setFiles(std::vector<FileRow> files) {
  beginResetModel();
  files_ = std::move(files);
  endResetModel();
}

void FileListModel::setRefusals(std::map<int64_t, std::string> reasons) {
  refusals_ = std::move(reasons);
  if (!files_.empty())
    emit dataChanged(index(0, FileUndo), index(rowCount() - 1, FileUndo), {Qt::DisplayRole});
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : clampedRows(files_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FileColumns;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const FileRow& file = files_[static_cast<std::size_t>(index.row())];
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

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return header(kFileHeaders, FileColumns, section, orientation, role);
}

}  // namespace msifter::ui::history
