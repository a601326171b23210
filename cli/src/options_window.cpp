#include "cli/options_window.h"

#include "common/failure.h"
#include "common/text.h"

namespace msifter::cli {

using settings::Check;
using settings::FolderLabel;
using settings::Option;
using settings::Text;

namespace {

std::size_t at(Check box) { return static_cast<std::size_t>(box); }
std::size_t at(Text box) { return static_cast<std::size_t>(box); }
std::size_t at(FolderLabel label) { return static_cast<std::size_t>(label); }

}  // namespace

int OptionsWindow::value(Check box) const { return checks_[at(box)].value; }
void OptionsWindow::setValue(Check box, int value) { checks_[at(box)].value = value; }
bool OptionsWindow::isEnabled(Check box) const { return checks_[at(box)].enabled; }
void OptionsWindow::setEnabled(Check box, bool enabled) { checks_[at(box)].enabled = enabled; }
std::string OptionsWindow::text(Text box) const { return texts_[at(box)].text; }
void OptionsWindow::setText(Text box, const std::string& text) { texts_[at(box)].text = text; }
bool OptionsWindow::isTextEnabled(Text box) const { return texts_[at(box)].enabled; }
void OptionsWindow::setTextEnabled(Text box, bool enabled) { texts_[at(box)].enabled = enabled; }
std::string OptionsWindow::caption(FolderLabel label) const { return captions_[at(label)]; }
void OptionsWindow::setCaption(FolderLabel label, const std::string& caption) {
  captions_[at(label)] = caption;
}
bool OptionsWindow::isSelected(Option option) const { return selected_ == option; }
void OptionsWindow::select(Option option) { selected_ = option; }

engine::TransferOptions OptionsWindow::snapshot() const {
  engine::TransferOptions options;
  if (!engine::gGetSettingData_TargetExtension(*this, options.targetList))
    common::fail(common::err::InvalidArgument);
  options.serverDir = caption(FolderLabel::ServerDir);
  options.receiveDir = caption(FolderLabel::ReceiveDir);
  options.subFolder = isChecked(Check::SubFolder);
  options.useMinSize = isChecked(Check::LimitMinSize);
  options.minSizeBytes = engine::kbTextToBytes(text(Text::LimitMinSize));
  options.useMaxSize = isChecked(Check::LimitMaxSize);
  options.maxSizeBytes = engine::kbTextToBytes(text(Text::LimitMaxSize));
  options.useCountLimit = isChecked(Check::LimitCount);
  options.countLimit = common::wholeNumberText(text(Text::LimitCount));
  options.copyFiles = isChecked(Check::Copy);
  options.renameMethod = isSelected(Option::SerialNum) ? engine::RenameMethod::SerialNumber
                                                       : engine::RenameMethod::DateTime;
  options.extFix = isChecked(Check::ExtFix);
  options.slowly = isChecked(Check::Slowly);
  return options;
}

}  // namespace msifter::cli
