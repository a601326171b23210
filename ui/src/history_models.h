// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two lists of the history window: the runs, and the files of one run.
#include <QAbstractTableModel>
#include <map>
#include <string>
#include <vector>

#include "run_history.h"

namespace msifter::ui::history {

class RunListModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setRuns(std::vector<RunRow> runs);
  const RunRow& run(int row) const { return runs_[static_cast<std::size_t>(row)]; }
  // -1 when no run has that name.
  int rowOf(const std::string& id) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<RunRow> runs_;
};

class FileListModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setFiles(std::vector<FileRow> files);
  // Why a file was not taken back the last time, by its journal number.
  void setRefusals(std::map<int64_t, std::string> reasons);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<FileRow> files_;
  std::map<int64_t, std::string> refusals_;
};

}  // namespace msifter::ui::history
