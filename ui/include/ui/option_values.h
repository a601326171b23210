#pragma once
// The options of the main window copied at one moment, so that the settings
// store can read them away from the window thread.
#include <array>
#include <string>

#include "settings/settings_window.h"

namespace msifter::ui {

class OptionValues : public settings::SettingsWindow {
 public:
  explicit OptionValues(const settings::SettingsWindow& window);

  int value(settings::Check box) const override;
  void setValue(settings::Check box, int value) override;
  bool isEnabled(settings::Check box) const override;
  void setEnabled(settings::Check box, bool enabled) override;
  std::string text(settings::Text box) const override;
  void setText(settings::Text box, const std::string& text) override;
  bool isTextEnabled(settings::Text box) const override;
  void setTextEnabled(settings::Text box, bool enabled) override;
  // A copy has no colours and no focus.
  void setTextBackground(settings::Text, settings::Background) override {}
  void setFocus(settings::Focus) override {}
  std::string caption(settings::FolderLabel label) const override;
  void setCaption(settings::FolderLabel label, const std::string& caption) override;
  bool isSelected(settings::Option option) const override;
  void select(settings::Option option) override;

 private:
  struct Box {
    int value = 0;
    bool enabled = true;
  };
  struct Field {
    std::string text;
    bool enabled = true;
  };
  std::array<Box, static_cast<std::size_t>(settings::Check::ExtFix) + 1> checks_{};
  std::array<Field, static_cast<std::size_t>(settings::Text::Other) + 1> texts_{};
  std::array<std::string, 2> captions_{};
  settings::Option selected_ = settings::Option::DateNum;
};

}  // namespace msifter::ui
