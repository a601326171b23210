#include "cli/options_window.h"

#include "common/failure.h"
#include "common/text.h"

namespace msifter::cli {

using settings::Check;
using settings::FolderLabel;
using settings::Option;
using settings::Text;

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
