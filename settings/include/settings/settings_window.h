// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window as the settings procedures see it: captions, check boxes,
// texts, option buttons, enable states, background colours and focus. The Qt
// window implements it; tests use a plain implementation.
#include <string>

#include "options/controls.h"
#include "options/run_options.h"

namespace msifter::settings {

using options::Check;
using options::Focus;
using options::FolderLabel;
using options::RenameMethod;
using options::Text;
// The palette's menu colour and window colour.
enum class Background { Menu, Window };

class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;

  virtual int value(Check box) const = 0;  // 0 clear, 1 checked
  virtual void setValue(Check box, int value) = 0;
  virtual bool isEnabled(Check box) const = 0;
  virtual void setEnabled(Check box, bool enabled) = 0;

  virtual std::string text(Text box) const = 0;
  virtual void setText(Text box, const std::string& text) = 0;
  virtual bool isTextEnabled(Text box) const = 0;
  virtual void setTextEnabled(Text box, bool enabled) = 0;
  virtual void setTextBackground(Text box, Background colour) = 0;

  virtual std::string caption(FolderLabel label) const = 0;
  virtual void setCaption(FolderLabel label, const std::string& caption) = 0;

  // The option button of a rename method.
  virtual bool isSelected(RenameMethod method) const = 0;
  virtual void select(RenameMethod method) = 0;

  virtual void setFocus(Focus target) = 0;
};

// The window's options as values, through the option table. Throws
// RuntimeFailure for a number box whose text is not a whole number that
// fits 32 bits.
options::RunOptions optionsFromWindow(const SettingsWindow& window);
// Copies from `from` to `to` every stored option that the window has no
// control for, so that a run from the window keeps them.
void takeOptionsBeyondWindow(const options::RunOptions& from, options::RunOptions& to);
// Shows `options` in the window; the option buttons only with `showMethod`.
void showOptions(SettingsWindow& window, const options::RunOptions& options,
                 bool showMethod = true);

}  // namespace msifter::settings
