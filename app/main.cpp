// m_sifter: finds files by type, size and count and moves or copies them into
// one folder under new names.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "ui/appearance.h"
#include "ui/lifecycle.h"
#include "ui/qt_ui_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("m_sifter"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
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
