// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_ui_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/app.h"
#include "gui_thread.h"
#include "ui/lifecycle.h"
#include "ui/shell.h"

namespace msifter::ui {

namespace {

bool onWindowThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

QMessageBox::StandardButtons buttonsForStyle(int style) {
  using B = QMessageBox;
  switch (style & common::mb::ButtonMask) {
    case common::mb::OkCancel: return B::Ok | B::Cancel;
    case common::mb::AbortRetryIgnore: return B::Abort | B::Retry | B::Ignore;
    case common::mb::YesNoCancel: return B::Yes | B::No | B::Cancel;
    case common::mb::YesNo: return B::Yes | B::No;
    case common::mb::RetryCancel: return B::Retry | B::Cancel;
    default: return B::Ok;
  }
}

QMessageBox::Icon iconForStyle(int style) {
  switch (style & common::mb::IconMask) {
    case common::mb::Critical: return QMessageBox::Critical;
    case common::mb::Question: return QMessageBox::Question;
    case common::mb::Exclamation: return QMessageBox::Warning;
    case common::mb::Information: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButton defaultButtonForStyle(int style) {
  using B = QMessageBox;
  // The buttons in the order the style names them.
  std::vector<QMessageBox::StandardButton> order;
  switch (style & common::mb::ButtonMask) {
    case common::mb::OkCancel: order = {B::Ok, B::Cancel}; break;
    case common::mb::AbortRetryIgnore: order = {B::Abort, B::Retry, B::Ignore}; break;
    case common::mb::YesNoCancel: order = {B::Yes, B::No, B::Cancel}; break;
    case common::mb::YesNo: order = {B::Yes, B::No}; break;
    case common::mb::RetryCancel: order = {B::Retry, B::Cancel}; break;
    default: order = {B::Ok}; break;
  }
  std::size_t index = 0;
  if ((style & common::mb::DefaultMask) == common::mb::DefaultButton2) index = 1;
  if ((style & common::mb::DefaultMask) == common::mb::DefaultButton3) index = 2;
  // A default beyond the last button falls back to the first, as the system does.
  return index < order.size() ? order[index] : order.front();
}

int answerForButton(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok: return common::answer::Ok;
    case QMessageBox::Cancel: return common::answer::Cancel;
    case QMessageBox::Abort: return common::answer::Abort;
    case QMessageBox::Retry: return common::answer::Retry;
    case QMessageBox::Ignore: return common::answer::Ignore;
    case QMessageBox::Yes: return common::answer::Yes;
    case QMessageBox::No: return common::answer::No;
    default: return common::answer::Cancel;
  }
}

namespace {

int showMessageBox(const std::string& text, int style, const std::string& title) {
  // The program's texts break their lines with CR LF; a label wants LF alone.
  QString prompt = QString::fromUtf8(text.c_str());
  prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(iconForStyle(style),
                  QString::fromUtf8(title.empty() ? common::kAppTitle : title.c_str()), prompt,
                  buttonsForStyle(style));
  box.setDefaultButton(defaultButtonForStyle(style));
  // The escape key answers with the box's cancel button, or with OK when
  // OK is its only button.
  const auto buttons = buttonsForStyle(style);
  if (buttons == QMessageBox::Ok) box.setEscapeButton(QMessageBox::Ok);
  box.exec();
  const auto pressed = box.standardButton(box.clickedButton());
  return answerForButton(pressed == QMessageBox::NoButton ? QMessageBox::Cancel : pressed);
}

class QtServices final : public common::UiServices {
 public:
  int messageBox(const std::string& text, int style, const std::string& title) override {
    return onGuiThread(QCoreApplication::instance(),
                       [&] { return showMessageBox(text, style, title); });
  }

  void setBusyCursor(bool busy) override {
    onGuiThread(QCoreApplication::instance(), [&] {
      if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
      } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
      }
    });
  }

  void processEvents() override {
    // The window thread keeps painting on its own while a run works on its
    // thread; only the window thread itself needs a pass.
    if (onWindowThread()) QCoreApplication::processEvents();
  }

  bool shellExecute(const std::string& target, int /*showCommand*/) override {
    // Show commands have no meaning for the desktop's openers here.
    return onGuiThread(QCoreApplication::instance(), [&] { return openWithDesktop(target); });
  }

  bool endProcessing() override {
    return onGuiThread(QCoreApplication::instance(), [] { return gProcEndProgram(); });
  }

  [[noreturn]] void endProgram(int exitCode) override {
    // Nothing is unloaded or saved; only the instance lock is given back so
    // that the next start need not find it stale.
    releaseInstanceLock();
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }

 private:
  int busyDepth_ = 0;
};

}  // namespace

QtUiServices::QtUiServices() : services_(std::make_unique<QtServices>()) {
  common::setUi(services_.get());
}

QtUiServices::~QtUiServices() { common::setUi(nullptr); }

}  // namespace msifter::ui
