#pragma once
// The window-system services of the running program, over Qt Widgets.
// Calls made from a worker thread (the transfer run) are carried over to the
// window thread and wait for it.
#include <QMessageBox>

#include "common/ui_services.h"

namespace msifter::ui {

class QtUiServices : public common::UiServices {
 public:
  QtUiServices();
  ~QtUiServices() override;
  QtUiServices(const QtUiServices&) = delete;
  QtUiServices& operator=(const QtUiServices&) = delete;

  int messageBox(const std::string& text, int style, const std::string& title) override;
  void setBusyCursor(bool busy) override;
  void processEvents() override;
  bool shellExecute(const std::string& target, int showCommand) override;
  bool endProcessing() override;
  [[noreturn]] void endProgram(int exitCode) override;

 private:
  int busyDepth_ = 0;
};

// How a message box style maps onto Qt.
QMessageBox::StandardButtons buttonsForStyle(int style);
QMessageBox::Icon iconForStyle(int style);
// The button that takes Enter: the first, second or third of the set.
QMessageBox::StandardButton defaultButtonForStyle(int style);
// The answer code of a pressed button (answer::Ok ... answer::No).
int answerForButton(QMessageBox::StandardButton button);

}  // namespace msifter::ui
