// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fonts, pictures and units shared by the windows.
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <utility>

namespace msifter::ui {

inline constexpr const char* kGothic = "ＭＳ ゴシック";
inline constexpr const char* kPGothic = "ＭＳ Ｐゴシック";

// Maps the two Japanese family names onto fonts installed here.
void installFontSubstitutions();
QFont gothicFont(double points);
QFont pGothicFont(double points);

// Positions are kept in twips, 15 to a pixel.
constexpr int twips(int value) { return value / 15; }
constexpr QRect twipRect(int left, int top, int width, int height) {
  return {twips(left), twips(top), twips(width), twips(height)};
}

// One of the program's pictures (":/icons/<name>.svg") drawn at `width` x `height`.
QPixmap picture(const QString& name, int width, int height);
QIcon programIcon();

// The program's small dialogs (About, end window): their name, caption,
// fixed frame with a close box only, program icon and default font.
void setUpDialogWindow(QWidget& window, const char* objectName, const char* caption);

// The Qt object tree owns child widgets: the new widget is handed to its
// parent at construction.
template <class W, class Parent, class... Args>
W* child(Parent* parent, Args&&... args) {
  return std::make_unique<W>(std::forward<Args>(args)..., parent).release();
}

// Shows a path of raw file-system bytes; bytes that are not UTF-8 show as
// replacement characters.
QString displayPath(const std::string& path);
// The raw bytes of a path that Qt handed over.
std::string pathBytes(const QString& path);

}  // namespace msifter::ui
