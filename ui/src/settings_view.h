// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// frmMenu's controls as the settings store reads and fills them. Window
// thread only: the run reaches them through RunView, which carries its calls
// over.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <array>
#include <string>

#include "menu_controls.h"
#include "settings/settings_window.h"

namespace msifter::ui {

class SettingsView : public settings::SettingsWindow {
 public:
  explicit SettingsView(const MenuControls& controls) : controls_(controls) {}

  int value(settings::Check box) const override {
    return controls_.check(box)->isChecked() ? 1 : 0;
  }
  void setValue(settings::Check box, int value) override {
    controls_.check(box)->setChecked(value != 0);
  }
  bool isEnabled(settings::Check box) const override { return controls_.check(box)->isEnabled(); }
  void setEnabled(settings::Check box, bool on) override { controls_.check(box)->setEnabled(on); }

  std::string text(settings::Text box) const override {
    return controls_.text(box)->text().toStdString();
  }
  void setText(settings::Text box, const std::string& text) override;
  bool isTextEnabled(settings::Text box) const override { return controls_.text(box)->isEnabled(); }
  void setTextEnabled(settings::Text box, bool on) override { controls_.text(box)->setEnabled(on); }
  void setTextBackground(settings::Text box, settings::Background colour) override;

  std::string caption(settings::FolderLabel label) const override { return folders_[at(label)]; }
  void setCaption(settings::FolderLabel label, const std::string& caption) override;

  bool isSelected(settings::RenameMethod method) const override {
    return controls_.option(method)->isChecked();
  }
  void select(settings::RenameMethod method) override {
    controls_.option(method)->setChecked(true);
  }

  void setFocus(settings::Focus target) override;

 private:
  static std::size_t at(settings::FolderLabel label) { return static_cast<std::size_t>(label); }

  const MenuControls& controls_;
  // The folder captions as raw bytes: a name that is not UTF-8 must reach
  // the run unchanged, whatever the label shows.
  std::array<std::string, 2> folders_;
};

}  // namespace msifter::ui
