// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// m_sifter-cli history and m_sifter-cli undo: the runs the journal keeps,
// and taking one back.
#include <string>

namespace msifter::cli {

struct OutputChoice {
  bool quiet = false;
  bool json = false;
};

// Lists every run, oldest first; with `runId`, that run's files. Returns the
// exit status.
int showHistory(const OutputChoice& output, const std::string& runId = "");

// Takes back the run `runId` ("" for the last one), or with `dryRun` says
// what that would do. Exit status 1 when some file cannot be undone.
int undoCommand(const std::string& runId, bool dryRun, const OutputChoice& output);

}  // namespace msifter::cli
