// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frm_end_program.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "ui/appearance.h"
#include "ui/lifecycle.h"

namespace msifter::ui {

namespace {
constexpr qint64 kExposeWaitMs = 1000;
constexpr qint64 kFrameWaitMs = 100;
}  // namespace

FrmEndProgram::FrmEndProgram() {
  setUpDialogWindow(*this, "frmEndProgram", kCaption);
  setFixedSize(twips(4110), twips(1065));

  auto* image = child<QLabel>(this);
  image->setObjectName(QStringLiteral("Image1"));
  image->setGeometry(twipRect(300, 300, 480, 480));
  image->setPixmap(picture(QStringLiteral("app"), 32, 32));

  auto* line1 = child<QLabel>(this, QString::fromUtf8("終了処理をしています。"));
  line1->setObjectName(QStringLiteral("Label1"));
  line1->setFont(gothicFont(11.25));
  line1->setGeometry(twipRect(990, 240, 3075, 345));

  auto* line2 = child<QLabel>(this, QString::fromUtf8("しばらくお待ちください。"));
  line2->setObjectName(QStringLiteral("Label2"));
  line2->setFont(gothicFont(11.25));
  line2->setGeometry(twipRect(990, 600, 3075, 375));
}

FrmEndProgram::~FrmEndProgram() { clearFormReference(this); }

void FrmEndProgram::formLoad() {
  // Modal windows keep their own start position: the centre of the screen.
  gDspWindowPosition(*this, FormPosition::Centred);
}

void FrmEndProgram::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (activated_) return;
  activated_ = true;
  // Runs once the window is up, inside its own modal loop.
  QTimer::singleShot(0, this, [this] { activate(); });
}

void FrmEndProgram::activate() {
  // The waits below block the window thread, so the window must be on the
  // screen and drawn before they start; a window system that maps windows
  // asynchronously needs a moment for that.
  QElapsedTimer waited;
  waited.start();
  while (!(windowHandle() != nullptr && windowHandle()->isExposed()) &&
         waited.elapsed() < kExposeWaitMs) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  // A window manager tells the frame it drew a moment after the window
  // appears; the window is centred by it before the thread blocks.
  waited.restart();
  while (frameGeometry() == geometry() && waited.elapsed() < kFrameWaitMs) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  gDspWindowPosition(*this, FormPosition::Centred);
  gDspFormTitle(*this, TitleMode::TitleLast);
  repaint();
  QCoreApplication::processEvents();
  gProcTune(1000);
  gProcEndProcess();
  gProcTune(200);
  close();
}

void FrmEndProgram::done(int result) {
  clearFormReference(this);
  markUnloaded();
  QDialog::done(result);
}

}  // namespace msifter::ui
