#include "ui/forms.h"

#include <QDialog>
#include <QScreen>
#include <QWidget>
#include <set>

#include "common/app.h"
#include "common/error.h"
#include "common/ui_services.h"

namespace msifter::ui {

namespace {

std::set<const Form*>& loadedForms() {
  static std::set<const Form*> forms;
  return forms;
}

}  // namespace

Form::~Form() { loadedForms().erase(this); }

void Form::load() {
  if (loaded_) return;
  loaded_ = true;
  loadedForms().insert(this);
  formLoad();
}

void Form::markUnloaded() {
  loaded_ = false;
  loadedForms().erase(this);
}

int32_t gGetFormCount() { return static_cast<int32_t>(loadedForms().size()); }

bool gDspForm(Form& form, int32_t position, int32_t modal, int32_t windowState) {
  return common::guardLog("gDspForm", false, [&] {
    QWidget& window = form.widget();
    form.load();
    if (modal == 1) {
      auto* dialog = dynamic_cast<QDialog*>(&window);
      if (dialog == nullptr) common::fail(common::err::InvalidArgument);
      dialog->exec();
      return true;
    }
    window.show();
    switch (windowState) {
      case 1: window.setWindowState(Qt::WindowMinimized); break;
      case 2: window.setWindowState(Qt::WindowMaximized); break;
      default: window.setWindowState(Qt::WindowNoState); break;
    }
    if (position == 9) return true;
    if (gDspWindowPosition(window, position)) return true;
    common::gProcError("gDspForm", "");
    return false;
  });
}

bool gDspWindowPosition(QWidget& window, int32_t position) {
  return common::guardLog("gDspWindowPosition", false, [&] {
    window.setWindowState(Qt::WindowNoState);
    QScreen* screen = window.screen();
    if (screen == nullptr) common::fail(common::err::ObjectRequired);
    const QRect area = screen->geometry();
    const QRect outer = window.frameGeometry();
    const int freeHeight = area.height() - outer.height();
    int top = 0;
    if (position == 0) {
      top = freeHeight / 2;
    } else if (position == 1) {
      top = freeHeight / 6;
    } else {
      common::gProcError("gDspWindowPosition", "");
      return false;
    }
    // Whole-number division truncates toward zero, also for a window larger
    // than the screen.
    const int left = (area.width() - outer.width()) / 2;
    window.move(area.left() + left, area.top() + top);
    common::ui().processEvents();
    return true;
  });
}

bool gDspFormTitle(QWidget& window, int32_t mode) {
  const QString title = QString::fromUtf8(common::kAppTitle);
  const QString blanks = QStringLiteral("     ");
  if (mode == 0) window.setWindowTitle(window.windowTitle() + blanks + title);
  else if (mode == 1) window.setWindowTitle(title + blanks + window.windowTitle());
  return true;
}

}  // namespace msifter::ui
