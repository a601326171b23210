#include "settings/settings_store.h"

#include <array>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "settings/registry.h"
#include "value_convert.h"

namespace msifter::settings {

namespace {

using common::trimSpaces;
using common::wholeNumberText;
using detail::valueLong;
using detail::valueText;

constexpr const char* kNoRunYet = "1000/01/01";

// The image check boxes with the tokens that name them in the stored value,
// in the order they are packed.
constexpr std::array<std::pair<Check, const char*>, 6> kImageTypes = {{
    {Check::BMP, "*.BMP"},
    {Check::GIF, "*.GIF"},
    {Check::TIFF, "*.TIFF"},
    {Check::JPG, "*.JPG"},
    {Check::PNG, "*.PNG"},
    {Check::PCD, "*.PCD"},
}};

RegValue read(const char* name, int32_t type, const RegValue& defaultValue) {
  return gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, defaultValue);
}

std::string readText(const char* name, const char* defaultValue) {
  return valueText(read(name, kRegSz, std::string(defaultValue)));
}

int32_t readLong(const char* name) { return valueLong(read(name, kRegDword, int32_t{0})); }

bool readFlag(const char* name) { return readLong(name) != 0; }

int checkValue(bool on) { return on ? 1 : 0; }

}  // namespace

bool gGetSettingData(SavedSettings& saved) {
  return common::guardFatal("gGetSettingData", [&] {
    // One read transaction for the nineteen values: a store that another
    // process keeps locked costs one bounded wait, not one per value.
    const RegTransaction reading(RegTransaction::Kind::Read);
    bool readable = reading.usable();
    saved.serverDir = readText("strServerDir", "");
    saved.receiveDir = readText("strReceiveDir", "");
    saved.limitCount = readFlag("chkLimitCount");
    saved.limitCountValue = readLong("lngLimitCount");
    saved.subFolder = readFlag("chkSubFolder");
    saved.limitMinSize = readFlag("chkLimitMinSize");
    saved.limitMinSizeKb = readLong("lngLimitMinSize");
    saved.limitMaxSize = readFlag("chkLimitMaxSize");
    saved.limitMaxSizeKb = readLong("lngLimitMaxSize");
    saved.slowly = readFlag("chkSlowly");
    saved.copy = readFlag("chkCopy");
    saved.allFile = readFlag("chkAllFile");
    saved.graphics = readFlag("chkGraphics");
    saved.graphicsTypes = readText("strGraphics", "");
    saved.other = readFlag("chkOther");
    saved.otherText = readText("strOther", "");
    // A value that cannot be taken as it is falls back to its default, so a
    // damaged store never keeps the program from starting.
    const int32_t method = readLong("bytBytRenameMethod");
    if (method < 0 || method > 255) {
      saved.renameMethod = DateNum;
      readable = false;
    } else {
      saved.renameMethod = static_cast<uint8_t>(method);
    }
    saved.lastExecute = readText("datLastExecute", kNoRunYet);
    if (!detail::isDateText(saved.lastExecute)) {
      saved.lastExecute = kNoRunYet;
      readable = false;
    }
    saved.extFix = readFlag("chkExtFix");
    return readable;
  });
}

bool gDspSettingData(SettingsWindow& window) {
  bool shown = false;
  try {
    SavedSettings saved;
    const bool readable = gGetSettingData(saved);
    window.setCaption(FolderLabel::ServerDir, saved.serverDir);
    window.setCaption(FolderLabel::ReceiveDir, saved.receiveDir);
    window.setValue(Check::LimitCount, checkValue(saved.limitCount));
    window.setText(Text::LimitCount, std::to_string(saved.limitCountValue));
    window.setValue(Check::SubFolder, checkValue(saved.subFolder));
    window.setValue(Check::LimitMinSize, checkValue(saved.limitMinSize));
    window.setText(Text::LimitMinSize, std::to_string(saved.limitMinSizeKb));
    window.setValue(Check::LimitMaxSize, checkValue(saved.limitMaxSize));
    window.setText(Text::LimitMaxSize, std::to_string(saved.limitMaxSizeKb));
    window.setValue(Check::Slowly, checkValue(saved.slowly));
    window.setValue(Check::Copy, checkValue(saved.copy));
    window.setValue(Check::AllFile, checkValue(saved.allFile));
    window.setValue(Check::Graphics, checkValue(saved.graphics));
    window.setValue(Check::Other, checkValue(saved.other));
    window.setText(Text::Other, saved.otherText);
    window.setValue(Check::ExtFix, checkValue(saved.extFix));

    for (const auto& [box, token] : kImageTypes) window.setValue(box, 0);
    for (const std::string& piece : common::splitAt(saved.graphicsTypes, ";")) {
      for (const auto& [box, token] : kImageTypes) {
        if (piece == token) window.setValue(box, 1);
      }
    }

    bool methodKnown = true;
    if (saved.renameMethod == DateNum) {
      window.select(Option::DateNum);
    } else if (saved.renameMethod == SerialNum) {
      window.select(Option::SerialNum);
    } else {
      methodKnown = false;
    }
    shown = readable && methodKnown;
  } catch (const common::ProgramEnded&) {
    throw;
  } catch (...) {
    shown = false;
  }
  if (!shown) common::gDispMsg(msgcode::NotReadCorrectly, "過去の設定データを");
  return shown;
}

bool gDspSettingData2(SettingsWindow& window) {
  return common::guardFatal("gDspSettingData2", [&] {
    // Whether a limit box follows its check box is left to the window; here
    // they stay usable.
    for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
      window.setTextEnabled(box, true);
    }
    const std::array<Check, 8> chosenByAllFile = {Check::Graphics, Check::BMP,  Check::GIF,
                                                  Check::TIFF,     Check::JPG,  Check::PNG,
                                                  Check::PCD,      Check::Other};
    if (window.value(Check::AllFile) == 1) {
      for (const Check box : chosenByAllFile) window.setEnabled(box, false);
      window.setTextEnabled(Text::Other, false);
      for (const Check box : chosenByAllFile) window.setValue(box, 1);
      window.setTextBackground(Text::Other, Background::Menu);
      return true;
    }
    window.setEnabled(Check::Other, true);
    if (window.value(Check::Other) == 0) {
      window.setTextBackground(Text::Other, Background::Menu);
      window.setTextEnabled(Text::Other, false);
    } else {
      window.setTextBackground(Text::Other, Background::Window);
      window.setTextEnabled(Text::Other, true);
    }
    window.setEnabled(Check::Graphics, true);
    if (window.value(Check::Graphics) == 1) {
      for (const auto& [box, token] : kImageTypes) window.setEnabled(box, true);
    } else {
      for (const auto& [box, token] : kImageTypes) window.setEnabled(box, false);
      for (const auto& [box, token] : kImageTypes) window.setValue(box, 0);
    }
    return true;
  });
}

bool gChkSettingData(SettingsWindow& window) {
  return common::guardFatal("gChkSettingData", [&] {
    const std::string serverDir = window.caption(FolderLabel::ServerDir);
    const std::string receiveDir = window.caption(FolderLabel::ReceiveDir);
    if (trimSpaces(serverDir).empty()) {
      window.setFocus(Focus::ServerSelect);
      common::gDispMsg(msgcode::PleaseChoose, "移動元のフォルダを");
      return false;
    }
    if (trimSpaces(receiveDir).empty()) {
      window.setFocus(Focus::ReceiveSelect);
      common::gDispMsg(msgcode::PleaseChoose, "移動先のフォルダを");
      return false;
    }
    if (!common::gChkDirExists(serverDir, false)) {
      common::gDispMsg(msgcode::DoesNotExist, "移動元のフォルダが");
      return false;
    }
    if (!common::gChkDirExists(receiveDir, false)) {
      common::gDispMsg(msgcode::DoesNotExist, "移動先のフォルダが");
      return false;
    }
    for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
      if (trimSpaces(window.text(box)).empty()) window.setText(box, "0");
    }
    if (window.value(Check::AllFile) == 0) {
      bool chosen = false;
      if (window.value(Check::Graphics) != 0) {
        for (const auto& [box, token] : kImageTypes) chosen = chosen || window.value(box) != 0;
      } else {
        chosen = window.value(Check::Other) != 0;
      }
      if (!chosen) {
        common::gDispMsg(msgcode::PleaseChoose, "検索ファイルを");
        return false;
      }
    }
    const bool minOn = window.value(Check::LimitMinSize) == 1;
    const bool maxOn = window.value(Check::LimitMaxSize) == 1;
    if (minOn && maxOn &&
        wholeNumberText(window.text(Text::LimitMinSize)) >=
            wholeNumberText(window.text(Text::LimitMaxSize))) {
      common::gDispMsg(msgcode::SizeLimitsWrong);
      window.setFocus(Focus::LimitMinSize);
      return false;
    }
    // The maximum is converted even when its limit is off: a text that is not
    // a number stops here rather than later, half-saved.
    const int32_t maximum = wholeNumberText(window.text(Text::LimitMaxSize));
    if (maxOn && maximum == 0) {
      common::gDispMsg(msgcode::SizeLimitsWrong);
      window.setFocus(Focus::LimitMaxSize);
      return false;
    }
    return true;
  });
}

bool gSetSettingData(SettingsWindow& window, const std::string& lastExecute) {
  return common::guardFatal("gSetSettingData", [&] {
    std::string graphicsTypes;
    for (const auto& [box, token] : kImageTypes) {
      if (window.value(box) == 1) graphicsTypes += std::string(token) + ";";
    }
    if (!graphicsTypes.empty()) graphicsTypes.pop_back();

    const int32_t renameMethod = window.isSelected(Option::SerialNum) ? SerialNum : DateNum;

    const auto write = [](const char* name, int32_t type, const RegValue& value) {
      return gSetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, value);
    };
    const auto flag = [&](Check box) { return RegValue(window.value(box) != 0); };
    const auto number = [&](Text box) { return RegValue(wholeNumberText(window.text(box))); };

    bool saved = false;
    {
      // One transaction: the nineteen values land together or not at all,
      // with one flush to disk. It is over before the fatal path shows
      // anything, so no lock is held while a dialog waits.
      RegTransaction writing(RegTransaction::Kind::Write);
      saved = write("strServerDir", kRegSz, window.caption(FolderLabel::ServerDir)) &&
              write("strReceiveDir", kRegSz, window.caption(FolderLabel::ReceiveDir)) &&
              write("chkLimitCount", kRegDword, flag(Check::LimitCount)) &&
              write("lngLimitCount", kRegDword, number(Text::LimitCount)) &&
              write("chkSubFolder", kRegDword, flag(Check::SubFolder)) &&
              write("chkLimitMinSize", kRegDword, flag(Check::LimitMinSize)) &&
              write("lngLimitMinSize", kRegDword, number(Text::LimitMinSize)) &&
              write("chkLimitMaxSize", kRegDword, flag(Check::LimitMaxSize)) &&
              write("lngLimitMaxSize", kRegDword, number(Text::LimitMaxSize)) &&
              write("chkSlowly", kRegDword, flag(Check::Slowly)) &&
              write("chkCopy", kRegDword, flag(Check::Copy)) &&
              write("chkAllFile", kRegDword, flag(Check::AllFile)) &&
              write("chkGraphics", kRegDword, flag(Check::Graphics)) &&
              write("strGraphics", kRegSz, graphicsTypes) &&
              write("chkOther", kRegDword, flag(Check::Other)) &&
              write("strOther", kRegSz, window.text(Text::Other)) &&
              write("bytBytRenameMethod", kRegDword, renameMethod) &&
              write("datLastExecute", kRegSz, lastExecute) &&
              write("chkExtFix", kRegDword, flag(Check::ExtFix)) && writing.commit();
    }
    if (!saved) common::gProcFatalError("gSetSettingData", "");
    return true;
  });
}

}  // namespace msifter::settings
