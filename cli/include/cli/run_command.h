#pragma once
// m_sifter-cli run: the window's run, its conditions given as options.
#include <cstdint>
#include <optional>
#include <string>

#include "cli/options_window.h"
#include "settings/settings_window.h"

namespace msifter::cli {

// The exit status of every command.
enum ExitStatus : int { kDone = 0, kRunFailed = 1, kUsageError = 2 };

enum class StampChoice { Transfer, Capture };

// One run as asked for on the command line. Options that were not given
// are empty and leave the window as it is (the saved settings with
// --from-settings, else a first start's window).
struct RunRequest {
  std::string source{};  // "" when not given
  std::string destination{};
  bool fromSettings = false;
  // The file types: given together (any one of them replaces the saved
  // choice of types).
  bool all = false;
  std::optional<std::string> images{};  // "bmp,gif,jpg"
  std::optional<std::string> other{};   // as typed into the window: "txt;doc"
  std::optional<bool> subfolders{};
  std::optional<bool> copy{};
  std::optional<bool> slow{};
  std::optional<bool> serial{};
  std::optional<bool> fixExt{};
  std::optional<int64_t> minKb{};
  std::optional<int64_t> maxKb{};
  std::optional<int64_t> limit{};
  bool dryRun = false;
  bool quiet = false;
  bool json = false;
  bool skipIdentical = false;
  StampChoice stamp = StampChoice::Transfer;
};

// The check box of an image type as --images names it ("jpg", "jpeg",
// "tif", any case); nothing for a name that is none of them.
std::optional<settings::Check> imageTypeBox(std::string name);

// Fills the window as the request asks: with --from-settings the saved
// settings as the window loads them, then every option given.
void fillWindow(OptionsWindow& window, const RunRequest& request);

// The whole command: checks the options as the window checks itself, searches,
// and previews or runs the transfer. Returns the exit status.
int runTransfer(const RunRequest& request);

}  // namespace msifter::cli
