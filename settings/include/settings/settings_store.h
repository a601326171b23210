// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run's options, kept per user from one start to the next, and the
// settings procedures of the main window. Which value holds which option is
// the option table's (options/option_table.h).
#include <span>
#include <string>
#include <string_view>

#include "options/run_options.h"
#include "settings/settings_window.h"

namespace msifter::settings {

// The current user's key that holds the options.
inline constexpr const char* kSettingsKey = "Software\\m_sifter";

// What gGetSettingData reads.
struct SavedSettings {
  options::RunOptions options;
  std::string lastExecute = "1000/01/01";  // "YYYY/MM/DD HH:NN:SS"
  // False when the stored rename method is a byte that names no method; the
  // window then keeps the option button it shows.
  bool methodKnown = true;
};

// True when every stored value could be read; a value that could not (a
// rename method outside 0 to 255, a date that is not a date, or every value
// of a store that is there but cannot be read) takes its default and makes
// the result false.
bool gGetSettingData(SavedSettings& saved);
// The saved options as the window loads them, message 47 included when they
// could not be read whole: for a run that starts from them elsewhere.
options::RunOptions savedRunOptions();
bool gDspSettingData(SettingsWindow& window);
bool gDspSettingData2(SettingsWindow& window);
// True when a run may start with what the window shows, together with
// `beyondWindow`'s options that the window has no control for; then
// `checked`, when given, holds those options. Shows the message and moves
// the focus itself.
bool gChkSettingData(SettingsWindow& window, options::RunOptions* checked = nullptr,
                     const options::RunOptions& beyondWindow = {});
// Writes every stored value, all or none; a failed write takes the fatal
// path.
bool gSetSettingData(const options::RunOptions& options, const std::string& lastExecute);
// Writes the values of the option table's rows named `rows`, all or none,
// and nothing else; a failed write takes the fatal path.
bool setStoredOptions(const options::RunOptions& options, std::span<const std::string_view> rows);

}  // namespace msifter::settings
