// SPDX-License-Identifier: GPL-3.0-or-later
// m_sifter: finds files by type, size and count and moves or copies them into
// one folder under new names.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "common/app.h"
#include "common/version.h"
#include "ui/appearance.h"
#include "ui/lifecycle.h"
#include "ui/qt_ui_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(msifter::common::kAppTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(msifter::common::kVersionText));
  QApplication::setWindowIcon(msifter::ui::programIcon());

  // Every text of the program is Japanese; Qt's own buttons and dialogs follow.
  QTranslator qtTexts;
  if (qtTexts.load(QStringLiteral("qtbase_ja"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  msifter::ui::installFontSubstitutions();

  msifter::ui::QtUiServices services;
  msifter::ui::Main();
  const int exitCode = QApplication::exec();
  msifter::ui::destroyForms();
  msifter::ui::releaseInstanceLock();
  return exitCode;
}
