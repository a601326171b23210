// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controls of frmMenu, built from one table and reached by what the rest
// of the window calls them: the settings' check boxes, text boxes, folder
// labels and option buttons, and the few controls the run drives.
#include <array>
#include <cstddef>
#include <iterator>

#include "settings/settings_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace msifter::ui {

class ClickableLabel;

// One of the two folder rows: the button that chooses the folder, the label
// that shows it and the picture that opens it.
struct FolderRow {
  QPushButton* select = nullptr;
  QLabel* path = nullptr;
  ClickableLabel* picture = nullptr;
};

struct MenuControls {
  QToolButton* cmdExecute = nullptr;
  QToolButton* cmdEnd = nullptr;
  QLabel* lblProgress = nullptr;
  QListView* lstResult = nullptr;
  std::array<FolderRow, 2> folders{};
  std::array<QRadioButton*, std::size(options::kRenameMethods)> options{};
  std::array<QCheckBox*, static_cast<std::size_t>(settings::Check::ExtFix) + 1> checks{};
  std::array<QLineEdit*, static_cast<std::size_t>(settings::Text::Other) + 1> texts{};

  const FolderRow& folder(settings::FolderLabel label) const {
    return folders[static_cast<std::size_t>(label)];
  }
  QRadioButton* option(settings::RenameMethod method) const {
    return options[static_cast<std::size_t>(method)];
  }
  QCheckBox* check(settings::Check box) const { return checks[static_cast<std::size_t>(box)]; }
  QLineEdit* text(settings::Text box) const { return texts[static_cast<std::size_t>(box)]; }
};

// Builds every control on the window's client area, in the window's own
// order and with its tab order.
MenuControls buildMenuControls(QWidget& client);

}  // namespace msifter::ui
