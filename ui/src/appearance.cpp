// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/appearance.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace msifter::ui {

void installFontSubstitutions() {
  QFont::insertSubstitutions(kGothic, {"MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP"});
  QFont::insertSubstitutions(kPGothic, {"MS PGothic", "IPAPGothic", "Noto Sans CJK JP"});
}

QFont gothicFont(double points) {
  QFont font(kGothic);
  font.setPointSizeF(points);
  return font;
}

QFont pGothicFont(double points) {
  QFont font(kPGothic);
  font.setPointSizeF(points);
  return font;
}

QPixmap picture(const QString& name, int width, int height) {
  // Drawn through the SVG renderer itself, so no image plug-in is needed.
  QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

QIcon programIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128})
    icon.addPixmap(picture(QStringLiteral("app"), size, size));
  return icon;
}

QString displayPath(const std::string& path) {
  return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

std::string pathBytes(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void setUpDialogWindow(QWidget& window, const char* objectName, const char* caption) {
  window.setObjectName(QString::fromUtf8(objectName));
  window.setWindowTitle(QString::fromUtf8(caption));
  window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  window.setWindowIcon(programIcon());
  window.setFont(gothicFont(9));
}

}  // namespace msifter::ui
