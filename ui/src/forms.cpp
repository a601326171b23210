// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLayout>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <set>

#include "common/app.h"
#include "common/failure.h"
#include "common/ui_services.h"

namespace msifter::ui {

namespace {

std::set<const Form*>& loadedForms() {
  static std::set<const Form*> forms;
  return forms;
}

// The window system tells a window's frame only once it has framed the window.
bool frameKnown(const QWidget& window) { return window.frameGeometry() != window.geometry(); }

// Moves the window so that its outer frame, as far as it is known, sits
// where the position code puts it.
void placeByFrame(QWidget& window, FormPosition position) {
  // A window not yet shown takes its size from its layout only when shown.
  if (!window.isVisible() && window.layout() != nullptr) window.layout()->activate();
  QScreen* screen = window.screen();
  if (screen == nullptr) common::fail(common::err::ObjectRequired);
  const QRect area = screen->geometry();
  const QRect outer = window.frameGeometry();
  const int freeHeight = area.height() - outer.height();
  // Whole-number division truncates toward zero, also for a window larger
  // than the screen.
  const int top = position == FormPosition::Centred ? freeHeight / 2 : freeHeight / 6;
  const int left = (area.width() - outer.width()) / 2;
  window.move(area.left() + left, area.top() + top);
}

// A window placed before the window manager framed it was placed by its
// inner size; once the frame is known it is placed again by its outer one.
// Without a window manager no frame ever comes, and the watch ends.
class PlaceWhenFramed : public QObject {
 public:
  static void watch(QWidget& window, FormPosition position) {
    auto* watcher =
        window.findChild<QObject*>(QString::fromLatin1(kName), Qt::FindDirectChildrenOnly);
    if (watcher == nullptr) watcher = new PlaceWhenFramed(window);  // owned by the window
    static_cast<PlaceWhenFramed*>(watcher)->position_ = position;
  }

 private:
  static constexpr const char* kName = "placeWhenFramed";
  static constexpr int kPollMs = 10;
  static constexpr qint64 kGiveUpMs = 2000;  // after the window is shown

  explicit PlaceWhenFramed(QWidget& window) : QObject(&window), window_(window) {
    setObjectName(QString::fromLatin1(kName));
    connect(&poll_, &QTimer::timeout, this, [this] { check(); });
    poll_.start(kPollMs);
  }

  void check() {
    if (!window_.isVisible()) return;
    if (!shown_.isValid()) shown_.start();
    if (frameKnown(window_)) {
      common::guardLog("gDspWindowPosition", false, [&] {
        placeByFrame(window_, position_);
        return true;
      });
    } else if (shown_.elapsed() < kGiveUpMs) {
      return;
    }
    poll_.stop();
    deleteLater();
  }

  QWidget& window_;
  FormPosition position_ = FormPosition::Centred;
  QTimer poll_;
  QElapsedTimer shown_;
};

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

bool gDspForm(Form& form, FormPosition position, FormModal modal, FormState windowState) {
  return common::guardLog("gDspForm", false, [&] {
    QWidget& window = form.widget();
    form.load();
    if (modal == FormModal::Modal) {
      auto* dialog = dynamic_cast<QDialog*>(&window);
      if (dialog == nullptr) common::fail(common::err::InvalidArgument);
      dialog->exec();
      return true;
    }
    // Placed before it is shown, so that it first appears where it belongs;
    // placing leaves it in the normal state, whatever state was asked for.
    const bool placed = position == FormPosition::AsPlaced || gDspWindowPosition(window, position);
    window.show();
    if (position == FormPosition::AsPlaced) {
      switch (windowState) {
        case FormState::Minimized: window.setWindowState(Qt::WindowMinimized); break;
        case FormState::Maximized: window.setWindowState(Qt::WindowMaximized); break;
        default: window.setWindowState(Qt::WindowNoState); break;
      }
    }
    if (placed) return true;
    common::gProcError("gDspForm", "");
    return false;
  });
}

bool gDspWindowPosition(QWidget& window, FormPosition position) {
  return common::guardLog("gDspWindowPosition", false, [&] {
    window.setWindowState(Qt::WindowNoState);
    if (position != FormPosition::Centred && position != FormPosition::High) {
      common::gProcError("gDspWindowPosition", "");
      return false;
    }
    placeByFrame(window, position);
    if (!frameKnown(window)) PlaceWhenFramed::watch(window, position);
    common::ui().processEvents();
    return true;
  });
}

bool gDspFormTitle(QWidget& window, TitleMode mode) {
  const QString title = QString::fromUtf8(common::kAppTitle);
  const QString blanks = QStringLiteral("     ");
  if (mode == TitleMode::TitleLast)
    window.setWindowTitle(window.windowTitle() + blanks + title);
  else if (mode == TitleMode::TitleFirst)
    window.setWindowTitle(title + blanks + window.windowTitle());
  return true;
}

}  // namespace msifter::ui
