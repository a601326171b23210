// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/result_list_model.h"

#include <algorithm>
#include <climits>

#include "ui/appearance.h"

namespace msifter::ui {

ResultListModel::ResultListModel(const std::vector<std::string>& paths, QObject* parent)
    : QAbstractListModel(parent), paths_(paths) {}

void ResultListModel::showPaths() {
  beginResetModel();
  shown_ = static_cast<int>(std::min<std::size_t>(paths_.size(), INT_MAX));
  endResetModel();
}

void ResultListModel::hidePaths() {
  beginResetModel();
  shown_ = 0;
  endResetModel();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return {};
  return displayPath(paths_[static_cast<std::size_t>(index.row())]);
}

}  // namespace msifter::ui
