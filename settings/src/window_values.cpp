#include "settings/window_values.h"

namespace msifter::settings {

namespace {

std::size_t at(Check box) { return static_cast<std::size_t>(box); }
std::size_t at(Text box) { return static_cast<std::size_t>(box); }
std::size_t at(FolderLabel label) { return static_cast<std::size_t>(label); }

}  // namespace

WindowValues::WindowValues(const SettingsWindow& window) {
  for (std::size_t i = 0; i < checks_.size(); ++i) {
    const auto box = static_cast<Check>(i);
    checks_[i] = {window.value(box), window.isEnabled(box)};
  }
  for (std::size_t i = 0; i < texts_.size(); ++i) {
    const auto box = static_cast<Text>(i);
    texts_[i] = {window.text(box), window.isTextEnabled(box)};
  }
  for (const FolderLabel label : {FolderLabel::ServerDir, FolderLabel::ReceiveDir}) {
    captions_[at(label)] = window.caption(label);
  }
  selected_ = window.isSelected(Option::SerialNum) ? Option::SerialNum : Option::DateNum;
}

int WindowValues::value(Check box) const { return checks_[at(box)].value; }
void WindowValues::setValue(Check box, int value) { checks_[at(box)].value = value; }
bool WindowValues::isEnabled(Check box) const { return checks_[at(box)].enabled; }
void WindowValues::setEnabled(Check box, bool enabled) { checks_[at(box)].enabled = enabled; }
std::string WindowValues::text(Text box) const { return texts_[at(box)].text; }
void WindowValues::setText(Text box, const std::string& text) { texts_[at(box)].text = text; }
bool WindowValues::isTextEnabled(Text box) const { return texts_[at(box)].enabled; }
void WindowValues::setTextEnabled(Text box, bool enabled) { texts_[at(box)].enabled = enabled; }
std::string WindowValues::caption(FolderLabel label) const { return captions_[at(label)]; }
void WindowValues::setCaption(FolderLabel label, const std::string& caption) {
  captions_[at(label)] = caption;
}
bool WindowValues::isSelected(Option option) const { return selected_ == option; }
void WindowValues::select(Option option) { selected_ = option; }

}  // namespace msifter::settings
