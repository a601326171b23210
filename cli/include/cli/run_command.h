// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// m_sifter-cli run: the window's run, its options given on the command line.
#include <string>
#include <vector>

#include "options/run_options.h"

namespace msifter::cli {

// The exit status of every command.
enum ExitStatus : int { kDone = 0, kRunFailed = 1, kUsageError = 2 };

// One run as asked for on the command line: the options given, by the name
// of their row in the option table (options/option_table.h).
struct RunRequest {
  options::RunOptions given{};
  std::vector<std::string> givenRows{};
  // Start from the options the window saved at its last run.
  bool fromSettings = false;
  bool quiet = false;
  bool json = false;
};

// The options of the run: with --from-settings the saved ones as the window
// loads them, else a first start's; then every option given. A file type
// given replaces the whole choice of types.
options::RunOptions requestedOptions(const RunRequest& request);

// The whole command: checks the options as the window checks them, then
// previews or runs the transfer. Returns the exit status.
int runCommand(const RunRequest& request);

}  // namespace msifter::cli
