#pragma once
// The main window without a window: its controls as plain values, filled
// from the command line (and on request from the window's saved settings),
// so that the settings procedures check a command-line run exactly as they
// check the window before a run.
#include <array>
#include <string>

#include "engine/run.h"
#include "settings/settings_window.h"

namespace msifter::cli {

class OptionsWindow final : public settings::SettingsWindow, public engine::TargetTypeSource {
 public:
  int value(settings::Check box) const override;
  void setValue(settings::Check box, int value) override;
  bool isEnabled(settings::Check box) const override;
  void setEnabled(settings::Check box, bool enabled) override;
  std::string text(settings::Text box) const override;
  void setText(settings::Text box, const std::string& text) override;
  bool isTextEnabled(settings::Text box) const override;
  void setTextEnabled(settings::Text box, bool enabled) override;
  // No colours and no focus without a window.
  void setTextBackground(settings::Text, settings::Background) override {}
  void setFocus(settings::Focus) override {}
  std::string caption(settings::FolderLabel label) const override;
  void setCaption(settings::FolderLabel label, const std::string& caption) override;
  bool isSelected(settings::Option option) const override;
  void select(settings::Option option) override;

  bool isChecked(settings::Check box) const override { return value(box) != 0; }
  std::string otherText() const override { return text(settings::Text::Other); }

  // The run's options as the Execute command takes them from the window,
  // target list included. May throw RuntimeFailure (a number that does not
  // fit).
  engine::TransferOptions snapshot() const;

 private:
  struct Box {
    int value = 0;
    bool enabled = true;
  };
  struct Field {
    std::string text = "0";  // the limit boxes of a first start
    bool enabled = true;
  };
  std::array<Box, static_cast<std::size_t>(settings::Check::ExtFix) + 1> checks_{};
  std::array<Field, static_cast<std::size_t>(settings::Text::Other) + 1> texts_{Field{}, Field{},
                                                                                Field{}, Field{""}};
  std::array<std::string, 2> captions_{};
  settings::Option selected_ = settings::Option::DateNum;
};

}  // namespace msifter::cli
