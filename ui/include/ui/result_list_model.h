// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of lstResult: the run's own list of found paths, shown where it
// lies instead of copied. A path becomes text only when its row is painted.
#include <QAbstractListModel>
#include <string>
#include <vector>

namespace msifter::ui {

class ResultListModel : public QAbstractListModel {
 public:
  // `paths` outlives the model; while rows are shown nobody else may change it.
  explicit ResultListModel(const std::vector<std::string>& paths, QObject* parent = nullptr);

  // Shows every path the list holds now.
  void showPaths();
  // Shows no rows; the list may then be cleared and refilled.
  void hidePaths();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  const std::vector<std::string>& paths_;
  int shown_ = 0;
};

}  // namespace msifter::ui
