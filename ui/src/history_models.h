// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two lists of the history window: the runs, and the files of one run.
#include <QAbstractTableModel>
#include <algorithm>
#include <climits>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "run_history.h"

namespace msifter::ui::history {

// Rows of one kind under fixed column headings; what each cell shows is the
// list's own (data()).
template <class Row>
class RowListModel : public QAbstractTableModel {
 public:
  RowListModel(std::span<const char* const> headings, QObject* parent)
      : QAbstractTableModel(parent), headings_(headings) {}

  void setRows(std::vector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
  }
  const Row& at(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX));
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(headings_.size());
  }
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
      return {};
    return QString::fromUtf8(headings_[static_cast<std::size_t>(section)]);
  }

 protected:
  const std::vector<Row>& rows() const { return rows_; }

 private:
  std::span<const char* const> headings_;
  std::vector<Row> rows_;
};

class RunListModel : public RowListModel<RunRow> {
 public:
  explicit RunListModel(QObject* parent = nullptr);

  // -1 when no run has that name.
  int rowOf(const std::string& id) const;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

class FileListModel : public RowListModel<FileRow> {
 public:
  explicit FileListModel(QObject* parent = nullptr);

  // Why a file was not taken back the last time, by its journal number.
  void setRefusals(std::map<int64_t, std::string> reasons);
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  std::map<int64_t, std::string> refusals_;
};

}  // namespace msifter::ui::history
