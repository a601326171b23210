// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of lstResult over the run's list of paths.
#include "ui/result_list_model.h"

#include <gtest/gtest.h>

#include <QListView>
#include <string>
#include <vector>

namespace msifter::ui::testing {
namespace {

std::vector<std::string> shownRows(const ResultListModel& model) {
  std::vector<std::string> rows;
  for (int i = 0; i < model.rowCount(); ++i)
    rows.push_back(model.index(i).data().toString().toStdString());
  return rows;
}

TEST(ResultListModel, EachPathShowsAsItsTextAndBytesThatAreNotUtf8AsReplacements) {
  struct Row {
    const char* what;
    std::string path;
    std::string shown;  // UTF-8
  };
  const Row rows[] = {
      {"plain", "/photos/a.jpg", "/photos/a.jpg"},
      {"Japanese", "/写真/夏の海.JPG", "/写真/夏の海.JPG"},
      {"Latin-1 byte", "/photos/caf\xe9.jpg", "/photos/caf\xef\xbf\xbd.jpg"},
      {"two stray bytes", "/photos/\xff\xfe.jpg", "/photos/\xef\xbf\xbd\xef\xbf\xbd.jpg"},
      {"Shift-JIS name", "/photos/\x89\xc4.jpg", "/photos/\xef\xbf\xbd\xef\xbf\xbd.jpg"},
  };
  std::vector<std::string> paths;
  for (const Row& row : rows) paths.push_back(row.path);
  ResultListModel model(paths);
  model.showPaths();
  ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(rows)));
  for (int i = 0; i < model.rowCount(); ++i) {
    SCOPED_TRACE(rows[i].what);
    EXPECT_EQ(model.index(i).data().toString().toStdString(), rows[i].shown);
    EXPECT_FALSE(model.index(i).data(Qt::EditRole).isValid());
  }
}

TEST(ResultListModel, HiddenRowsLetTheListBeClearedAndRefilled) {
  std::vector<std::string> paths = {"/a/1", "/a/2"};
  ResultListModel model(paths);
  QListView view;
  view.setModel(&model);
  EXPECT_EQ(model.rowCount(), 0);  // nothing before the first run ends

  model.showPaths();
  EXPECT_EQ(shownRows(model), (std::vector<std::string>{"/a/1", "/a/2"}));

  model.hidePaths();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_FALSE(view.model()->index(0, 0).isValid());
  paths.clear();
  for (int i = 0; i < 5; ++i) paths.push_back("/b/" + std::to_string(i));
  EXPECT_EQ(model.rowCount(), 0);

  model.showPaths();
  EXPECT_EQ(shownRows(model), (std::vector<std::string>{"/b/0", "/b/1", "/b/2", "/b/3", "/b/4"}));
  EXPECT_EQ(view.model()->rowCount(), 5);
}

}  // namespace
}  // namespace msifter::ui::testing
