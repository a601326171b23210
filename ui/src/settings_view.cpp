// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_view.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ui/appearance.h"
#include "ui/number_field.h"

namespace msifter::ui {

using settings::Text;

void SettingsView::setText(Text box, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (auto* field = dynamic_cast<NumberField*>(controls_.text(box)))
    field->setProgramText(value);
  else
    controls_.text(box)->setText(value);
}

void SettingsView::setTextBackground(Text box, settings::Background colour) {
  QLineEdit* edit = controls_.text(box);
  QPalette palette = edit->palette();
  const QPalette system = QPalette();
  const QPalette::ColorRole role =
      colour == settings::Background::Menu ? QPalette::Window : QPalette::Base;
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, system.color(group, role));
  }
  edit->setPalette(palette);
}

void SettingsView::setCaption(settings::FolderLabel label, const std::string& caption) {
  folders_[at(label)] = caption;
  controls_.folder(label).path->setText(displayPath(caption));
}

void SettingsView::setFocus(settings::Focus target) {
  switch (target) {
    case settings::Focus::ServerSelect:
      controls_.folder(settings::FolderLabel::ServerDir).select->setFocus();
      break;
    case settings::Focus::ReceiveSelect:
      controls_.folder(settings::FolderLabel::ReceiveDir).select->setFocus();
      break;
    case settings::Focus::LimitMinSize: controls_.text(Text::LimitMinSize)->setFocus(); break;
    case settings::Focus::LimitMaxSize: controls_.text(Text::LimitMaxSize)->setFocus(); break;
  }
}

}  // namespace msifter::ui
