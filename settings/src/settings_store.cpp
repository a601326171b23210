// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings_store.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "options/option_table.h"
#include "settings/registry.h"
#include "value_convert.h"

namespace msifter::settings {

namespace {

using common::trimSpaces;
using detail::valueLong;
using detail::valueText;
using options::ImageTypes;
using options::OptionRow;
using options::Overloaded;
using options::RunOptions;

constexpr const char* kNoRunYet = "1000/01/01";
const RunOptions kDefaults{};

RegValue read(const char* name, int32_t type, const RegValue& defaultValue) {
  return gGetRegValue(kHKeyCurrentUser, kSettingsKey, name, type, defaultValue);
}

std::string readText(const char* name, const std::string& defaultValue) {
  return valueText(read(name, kRegSz, defaultValue));
}

int32_t readLong(const char* name, const RegValue& defaultValue) {
  return valueLong(read(name, kRegDword, defaultValue));
}

// The image types as strGraphics packs them: each chosen one's token, in
// table order, joined by ";".
std::string packedImages(const ImageTypes& images) {
  std::string packed;
  for (const auto& type : options::kImageTypes) {
    if (images.has(type.type)) packed.append(type.token).append(1, ';');
  }
  if (!packed.empty()) packed.pop_back();
  return packed;
}

// A piece that is no token exactly (another case, an empty piece) checks
// nothing.
ImageTypes unpackedImages(const std::string& packed) {
  ImageTypes images;
  for (const std::string& piece : common::splitAt(packed, ";")) {
    for (const auto& type : options::kImageTypes) {
      if (piece == type.token) images.set(type.type, true);
    }
  }
  return images;
}

// One stored value into `saved`; false when it could not be taken as it is.
// Such a value falls back to its default, so a damaged store never keeps the
// program from starting.
bool readRow(const OptionRow& row, SavedSettings& saved) {
  const char* key = row.storeKey;
  RunOptions& o = saved.options;
  return std::visit(
      Overloaded{
          [&](std::monostate) {
            saved.lastExecute = readText(key, kNoRunYet);
            if (detail::isDateText(saved.lastExecute)) return true;
            saved.lastExecute = kNoRunYet;
            return false;
          },
          [&](std::string RunOptions::*m) { return (o.*m = readText(key, kDefaults.*m), true); },
          [&](bool RunOptions::*m) { return (o.*m = readLong(key, kDefaults.*m) != 0, true); },
          [&](int32_t RunOptions::*m) { return (o.*m = readLong(key, kDefaults.*m), true); },
          [&](ImageTypes RunOptions::*m) {
            return (o.*m = unpackedImages(readText(key, "")), true);
          },
          [&](options::RenameMethod RunOptions::*m) {
            const int32_t stored = readLong(key, options::choiceRow(kDefaults.*m).stored);
            if (stored < 0 || stored > 255) return (o.*m = kDefaults.*m, false);
            const auto method = options::storedChoice<options::RenameMethod>(stored);
            saved.methodKnown = method.has_value();
            o.*m = method.value_or(kDefaults.*m);
            return true;
          },
          [&](options::TimeShift RunOptions::*m) {
            const int32_t stored = readLong(key, (kDefaults.*m).seconds);
            const bool known =
                stored >= -options::kLongestTimeShift && stored <= options::kLongestTimeShift;
            o.*m = known ? options::TimeShift{stored} : kDefaults.*m;
            return known;
          },
          [&]<options::TableChoice Choice>(Choice RunOptions::*m) {
            const auto choice = options::storedChoice<Choice>(
                readLong(key, options::choiceRow(kDefaults.*m).stored));
            o.*m = choice.value_or(kDefaults.*m);
            return choice.has_value();
          },
          [](auto) { return true; },
      },
      row.field);
}

// A row's value as the store keeps it, with its type.
std::pair<int32_t, RegValue> storedValue(const OptionRow& row, const RunOptions& o,
                                         const std::string& lastExecute) {
  using Stored = std::pair<int32_t, RegValue>;
  return std::visit(Overloaded{
                        [&](std::monostate) {
                          return Stored{kRegSz, lastExecute};
                        },
                        [&](std::string RunOptions::*m) {
                          return Stored{kRegSz, o.*m};
                        },
                        [&](bool RunOptions::*m) {
                          return Stored{kRegDword, o.*m};
                        },
                        [&](int32_t RunOptions::*m) {
                          return Stored{kRegDword, o.*m};
                        },
                        [&](ImageTypes RunOptions::*m) {
                          return Stored{kRegSz, packedImages(o.*m)};
                        },
                        [&]<options::TableChoice Choice>(Choice RunOptions::*m) {
                          return Stored{kRegDword, options::choiceRow(o.*m).stored};
                        },
                        [&](options::TimeShift RunOptions::*m) {
                          return Stored{kRegDword, (o.*m).seconds};
                        },
                        [](auto) {
                          return Stored{kRegDword, RegValue()};
                        },
                    },
                    row.field);
}

// What the window shows of a saved run: false, after message 47, when not
// all of it could be read.
bool readShown(SavedSettings& saved) {
  const bool shown = gGetSettingData(saved) && saved.methodKnown;
  if (!shown) common::gDispMsg(msgcode::NotReadCorrectly, "過去の設定データを");
  return shown;
}

// The stored values of the rows `chosen` takes: all land together or none
// do, with one flush to disk. The transaction is over before a caller's
// fatal path shows anything, so no lock is held while a dialog waits.
template <class Chosen>
bool writeRows(const RunOptions& options, const std::string& lastExecute, Chosen chosen) {
  RegTransaction writing(RegTransaction::Kind::Write);
  for (const OptionRow& row : options::optionTable()) {
    if (row.storeKey == nullptr || !chosen(row)) continue;
    const auto [type, value] = storedValue(row, options, lastExecute);
    if (!gSetRegValue(kHKeyCurrentUser, kSettingsKey, row.storeKey, type, value)) return false;
  }
  return writing.commit();
}

void tell(SettingsWindow& window, const options::OptionProblem& problem) {
  if (problem.focus && problem.focusFirst) window.setFocus(*problem.focus);
  common::gDispMsg(problem.code, problem.callerText);
  if (problem.focus && !problem.focusFirst) window.setFocus(*problem.focus);
}

}  // namespace

bool gGetSettingData(SavedSettings& saved) {
  return common::guardFatal("gGetSettingData", [&] {
    // One read transaction for all the values: a store that another
    // process keeps locked costs one bounded wait, not one per value.
    const RegTransaction reading(RegTransaction::Kind::Read);
    bool readable = reading.usable();
    for (const OptionRow& row : options::optionTable()) {
      if (row.storeKey != nullptr && !readRow(row, saved)) readable = false;
    }
    return readable;
  });
}

RunOptions savedRunOptions() {
  SavedSettings saved;
  readShown(saved);
  return saved.options;
}

bool gDspSettingData(SettingsWindow& window) {
  try {
    SavedSettings saved;
    const bool readable = gGetSettingData(saved);
    showOptions(window, saved.options, saved.methodKnown);
    if (readable && saved.methodKnown) return true;
  } catch (const common::ProgramEnded&) {
    throw;
  } catch (...) {
  }
  common::gDispMsg(msgcode::NotReadCorrectly, "過去の設定データを");
  return false;
}

bool gDspSettingData2(SettingsWindow& window) {
  return common::guardFatal("gDspSettingData2", [&] {
    // Whether a limit box follows its check box is left to the window; here
    // they stay usable.
    for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
      window.setTextEnabled(box, true);
    }
    if (window.value(Check::AllFile) == 1) {
      for (const Check box : {Check::Graphics, Check::Other}) window.setEnabled(box, false);
      for (const auto& type : options::kImageTypes) window.setEnabled(type.box, false);
      window.setTextEnabled(Text::Other, false);
      for (const Check box : {Check::Graphics, Check::Other}) window.setValue(box, 1);
      for (const auto& type : options::kImageTypes) window.setValue(type.box, 1);
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
    const bool images = window.value(Check::Graphics) == 1;
    for (const auto& type : options::kImageTypes) window.setEnabled(type.box, images);
    if (!images) {
      for (const auto& type : options::kImageTypes) window.setValue(type.box, 0);
    }
    return true;
  });
}

bool gChkSettingData(SettingsWindow& window, RunOptions* checked, const RunOptions& beyondWindow) {
  return common::guardFatal("gChkSettingData", [&] {
    RunOptions folders;
    folders.serverDir = window.caption(FolderLabel::ServerDir);
    folders.receiveDir = window.caption(FolderLabel::ReceiveDir);
    if (const auto problem = options::checkFolders(folders)) {
      tell(window, *problem);
      return false;
    }
    for (const Text box : {Text::LimitCount, Text::LimitMinSize, Text::LimitMaxSize}) {
      if (trimSpaces(window.text(box)).empty()) window.setText(box, "0");
    }
    // Every number box is read here, whether its limit is on or not: a text
    // that is not a number stops here rather than later, half-saved.
    RunOptions options = optionsFromWindow(window);
    takeOptionsBeyondWindow(beyondWindow, options);
    if (const auto problem = options::checkChoices(options)) {
      tell(window, *problem);
      return false;
    }
    if (checked != nullptr) *checked = options;
    return true;
  });
}

bool gSetSettingData(const RunOptions& options, const std::string& lastExecute) {
  return common::guardFatal("gSetSettingData", [&] {
    if (!writeRows(options, lastExecute, [](const OptionRow&) { return true; }))
      common::gProcFatalError("gSetSettingData", "");
    return true;
  });
}

bool setStoredOptions(const RunOptions& options, std::span<const std::string_view> rows) {
  return common::guardFatal("setStoredOptions", [&] {
    const auto named = [&](const OptionRow& row) {
      return std::find(rows.begin(), rows.end(), row.name) != rows.end();
    };
    if (!writeRows(options, kNoRunYet, named)) common::gProcFatalError("setStoredOptions", "");
    return true;
  });
}

}  // namespace msifter::settings
