// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// m_sifter-cli: the window's run from the command line, on the same engine,
// with a preview, names by capture time, skipping files the destination
// already holds, the history of runs and their undo. Needs no display.
#include <string>
#include <vector>

#include "cli/journal_commands.h"
#include "cli/run_command.h"

namespace msifter::cli {

enum class Command { None, Run, History, Undo };

// What the arguments ask for.
struct CommandLine {
  // None: nothing to run (help, the version, a usage error), ending with
  // `status`.
  Command command = Command::None;
  int status = kDone;
  // Its folders made absolute (folder_arguments.h).
  RunRequest run{};
  OutputChoice historyOutput{};
  std::string historyRun{};  // "" for every run
  std::string undoRun{};     // "" for the last run
  bool undoDryRun = false;
  OutputChoice undoOutput{};
};

// Parses the arguments after the program's name. Help and the version are
// printed here, and so is what is wrong with a command line that is.
CommandLine parseCommandLine(std::vector<std::string> args);

// The whole program; returns the exit status (run_command.h).
int runCommandLine(int argc, char** argv);

}  // namespace msifter::cli
