// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window-system services of the running program, over Qt Widgets.
// Calls made from a worker thread (the transfer run) are carried over to the
// window thread and wait for it.
#include <QMessageBox>
#include <memory>

#include "common/ui_services.h"

namespace msifter::ui {

// Installs the services for the lifetime of the object; the rest of the
// program reaches them through common::ui().
class QtUiServices {
 public:
  QtUiServices();
  ~QtUiServices();

 private:
  // Also what keeps the installer from being copied or moved.
  std::unique_ptr<common::UiServices> services_;
};

// How a message box style maps onto Qt.
QMessageBox::StandardButtons buttonsForStyle(int style);
QMessageBox::Icon iconForStyle(int style);
// The button that takes Enter: the first, second or third of the set.
QMessageBox::StandardButton defaultButtonForStyle(int style);
// The answer code of a pressed button (answer::Ok ... answer::No).
int answerForButton(QMessageBox::StandardButton button);

}  // namespace msifter::ui
