#pragma once
// The main window as the settings procedures see it: captions, check boxes,
// texts, option buttons, enable states, background colours and focus. The Qt
// window implements it; tests use a plain implementation.
#include <string>

#include "common/check_box.h"

namespace msifter::settings {

using common::Check;
enum class Text { LimitCount, LimitMinSize, LimitMaxSize, Other };
enum class FolderLabel { ServerDir, ReceiveDir };
enum class Option { DateNum, SerialNum };
enum class Focus { ServerSelect, ReceiveSelect, LimitMinSize, LimitMaxSize };
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

  virtual bool isSelected(Option option) const = 0;
  virtual void select(Option option) = 0;

  virtual void setFocus(Focus target) = 0;
};

}  // namespace msifter::settings
