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
void placeByFrame(QWidget& window, int32_t position) {
  // A window not yet shown takes its size from its layout only when shown.
  if (!window.isVisible() && window.layout() != nullptr) window.layout()->activate();
  QScreen* screen = window.screen();
  if (screen == nullptr) common::fail(common::err::ObjectRequired);
  const QRect area = screen->geometry();
  const QRect outer = window.frameGeometry();
  const int freeHeight = area.height() - outer.height();
  // Whole-number division truncates toward zero, also for a window larger
  // than the screen.
  const int top = position == 0 ? freeHeight / 2 : freeHeight / 6;
  const int left = (area.width() - outer.width()) / 2;
  window.move(area.left() + left, area.top() + top);
}

// A window placed before the window manager framed it was placed by its
// inner size; once the frame is known it is placed again by its outer one.
// Without a window manager no frame ever comes, and the watch ends.
class PlaceWhenFramed : public QObject {
 public:
  static void watch(QWidget& window, int32_t position) {
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
  int32_t position_ = 0;
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
    // Placed before it is shown, so that it first appears where it belongs;
    // placing leaves it in the normal state, whatever state was asked for.
    const bool placed = position == 9 || gDspWindowPosition(window, position);
    window.show();
    if (position == 9) {
      switch (windowState) {
        case 1: window.setWindowState(Qt::WindowMinimized); break;
        case 2: window.setWindowState(Qt::WindowMaximized); break;
        default: window.setWindowState(Qt::WindowNoState); break;
      }
    }
    if (placed) return true;
    common::gProcError("gDspForm", "");
    return false;
  });
}

bool gDspWindowPosition(QWidget& window, int32_t position) {
  return common::guardLog("gDspWindowPosition", false, [&] {
    window.setWindowState(Qt::WindowNoState);
    if (position != 0 && position != 1) {
      common::gProcError("gDspWindowPosition", "");
      return false;
    }
    placeByFrame(window, position);
    if (!frameKnown(window)) PlaceWhenFramed::watch(window, position);
    common::ui().processEvents();
    return true;
  });
}

bool gDspFormTitle(QWidget& window, int32_t mode) {
  const QString title = QString::fromUtf8(common::kAppTitle);
  const QString blanks = QStringLiteral("     ");
  if (mode == 0)
    window.setWindowTitle(window.windowTitle() + blanks + title);
  else if (mode == 1)
    window.setWindowTitle(title + blanks + window.windowTitle());
  return true;
}

}  // namespace msifter::ui
