#pragma once
// The main window's options, kept per user from one start to the next.
#include <cstdint>
#include <string>

#include "settings/settings_window.h"

namespace msifter::settings {

// The current user's key that holds the options.
inline constexpr const char* kSettingsKey = "Software\\m_sifter";

// The rename method as bytBytRenameMethod stores it; other stored numbers
// are kept as read and count as unreadable.
enum StoredRenameMethod : uint8_t { DateNum = 0, SerialNum = 1 };

// What gGetSettingData reads, in the order the values are stored.
struct SavedSettings {
  std::string serverDir;
  std::string receiveDir;
  bool limitCount = false;
  int32_t limitCountValue = 0;
  bool subFolder = false;
  bool limitMinSize = false;
  int32_t limitMinSizeKb = 0;
  bool limitMaxSize = false;
  int32_t limitMaxSizeKb = 0;
  bool slowly = false;
  bool copy = false;
  bool allFile = false;
  bool graphics = false;
  std::string graphicsTypes;  // packed "*.GIF;*.PCD"
  bool other = false;
  std::string otherText;
  uint8_t renameMethod = DateNum;
  std::string lastExecute;  // "YYYY/MM/DD HH:NN:SS"
  bool extFix = false;
};

// True when every stored value could be read; a value that could not (a
// rename method outside 0 to 255, a date that is not a date, or every value
// of a store that is there but cannot be read) takes its default and makes
// the result false.
bool gGetSettingData(SavedSettings& saved);
bool gDspSettingData(SettingsWindow& window);
bool gDspSettingData2(SettingsWindow& window);
bool gChkSettingData(SettingsWindow& window);
// Writes the nineteen values, all or none; a failed write takes the fatal
// path.
bool gSetSettingData(SettingsWindow& window, const std::string& lastExecute);

}  // namespace msifter::settings
