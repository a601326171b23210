// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A preview's plan on standard output, a line (or a JSON entry) per file as
// soon as it is planned, then the total: nothing of a file is kept once its
// line is written.
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/run_command.h"
#include "engine/mover.h"
#include "options/run_options.h"

namespace msifter::cli {

class PlanOutput {
 public:
  PlanOutput(const options::RunOptions& options, const RunRequest& request);
  ~PlanOutput();
  PlanOutput(const PlanOutput&) = delete;
  PlanOutput& operator=(const PlanOutput&) = delete;

  void file(const engine::PlannedFile& file);
  // The total after the last file; the exit status: the run would stop at
  // a file that finds no free name, or none short enough, as the plan does.
  int finish(const engine::TransferOptions& snapshot);
  // The plan ends early: the search or the plan failed. A JSON document
  // already begun is closed with `message`.
  void abandon(const std::string& message);

 private:
  void beginJson();
  void putItems();

  const options::RunOptions& options_;
  const RunRequest& request_;
  std::string folder_;
  std::string backup_;  // the backup folder with its separator, "" for none
  bool begun_ = false;
  bool stops_ = false;
  int64_t planned_ = 0;
  int64_t skipped_ = 0;
  int64_t byModification_ = 0;
  std::FILE* spool_ = nullptr;
  int64_t entries_ = 0;
  std::string line_;  // the text line of the file being told
};

}  // namespace msifter::cli
