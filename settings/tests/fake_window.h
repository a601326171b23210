// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A plain SettingsWindow for tests: every control is a value in a map, the
// two option buttons behave as one group, and each focus move notes how many
// message boxes had been shown by then.
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recording_ui.h"
#include "settings/settings_window.h"

namespace msifter::settings {

class FakeWindow : public SettingsWindow {
 public:
  explicit FakeWindow(const testing::RecordingUi* ui = nullptr) : ui_(ui) {}

  int value(Check box) const override { return get(checks, box, 0); }
  void setValue(Check box, int value) override { checks[box] = value; }
  bool isEnabled(Check box) const override { return get(enabled, box, true); }
  void setEnabled(Check box, bool on) override { enabled[box] = on; }

  std::string text(Text box) const override { return get(texts, box, std::string()); }
  void setText(Text box, const std::string& value) override { texts[box] = value; }
  bool isTextEnabled(Text box) const override { return get(textEnabled, box, true); }
  void setTextEnabled(Text box, bool on) override { textEnabled[box] = on; }
  void setTextBackground(Text box, Background colour) override { backgrounds[box] = colour; }

  std::string caption(FolderLabel label) const override {
    return get(captions, label, std::string());
  }
  void setCaption(FolderLabel label, const std::string& value) override { captions[label] = value; }

  bool isSelected(RenameMethod method) const override { return selected == method; }
  void select(RenameMethod method) override { selected = method; }

  void setFocus(Focus target) override {
    focusMoves.emplace_back(target, ui_ ? ui_->boxes.size() : 0u);
  }

  std::map<Check, int> checks;
  std::map<Check, bool> enabled;
  std::map<Text, std::string> texts;
  std::map<Text, bool> textEnabled;
  std::map<Text, Background> backgrounds;
  std::map<FolderLabel, std::string> captions;
  std::optional<RenameMethod> selected;
  // Where the focus went, with the number of boxes shown before the move.
  std::vector<std::pair<Focus, std::size_t>> focusMoves;

 private:
  template <class K, class V>
  static V get(const std::map<K, V>& map, K key, V fallback) {
    const auto it = map.find(key);
    return it == map.end() ? fallback : it->second;
  }
  const testing::RecordingUi* ui_;
};

}  // namespace msifter::settings
