#pragma once
// The main window's options as plain values: a copy of the window taken at
// one moment (so that the store can read it away from the window thread),
// or a window without a window (the command line), as at a first start.
#include <array>
#include <string>

#include "settings/settings_window.h"

namespace msifter::settings {

class WindowValues : public SettingsWindow {
 public:
  WindowValues() = default;
  explicit WindowValues(const SettingsWindow& window);

  int value(Check box) const override;
  void setValue(Check box, int value) override;
  bool isEnabled(Check box) const override;
  void setEnabled(Check box, bool enabled) override;
  std::string text(Text box) const override;
  void setText(Text box, const std::string& text) override;
  bool isTextEnabled(Text box) const override;
  void setTextEnabled(Text box, bool enabled) override;
  // Values have no colours and no focus.
  void setTextBackground(Text, Background) override {}
  void setFocus(Focus) override {}
  std::string caption(FolderLabel label) const override;
  void setCaption(FolderLabel label, const std::string& caption) override;
  bool isSelected(Option option) const override;
  void select(Option option) override;

 private:
  struct Box {
    int value = 0;
    bool enabled = true;
  };
  struct Field {
    std::string text = "0";  // the limit boxes of a first start
    bool enabled = true;
  };
  std::array<Box, static_cast<std::size_t>(Check::ExtFix) + 1> checks_{};
  std::array<Field, static_cast<std::size_t>(Text::Other) + 1> texts_{Field{}, Field{}, Field{},
                                                                      Field{""}};
  std::array<std::string, 2> captions_{};
  Option selected_ = Option::DateNum;
};

}  // namespace msifter::settings
