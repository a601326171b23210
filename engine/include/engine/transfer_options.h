// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TransferOptions: what one run works with, taken from its options at the
// moment it starts: the target list built, the sizes in bytes. The finder,
// the mover, the name planner and the journal read it.
#include <cstdint>
#include <string>

#include "engine/search_bounds.h"
#include "options/run_options.h"

namespace msifter::engine {

using options::RenameMethod;

struct TransferOptions {
  std::string serverDir;
  std::string receiveDir;
  std::string targetList;
  bool subFolder = false;
  SearchBounds bounds{};
  bool copyFiles = false;
  RenameMethod renameMethod = RenameMethod::DateTime;
  bool extFix = false;
  bool slowly = false;
  // How date-time names take their moment, as the journal records it.
  options::StampChoice stamp = options::StampChoice::Transfer;
  options::TimeShift timeShift{};
  options::VideoTime videoTime = options::VideoTime::Utc;
  bool skipIdentical = false;
  // Every file also goes here, under the same name; "" for none.
  std::string backupDir{};
  // Subfolders by date ("%Y/%m/%d"), "" for none: RunOptions::folders.
  std::string folders{};
  // A photo and its companions share one name's prefix: RunOptions::groups,
  // which only names by capture time use.
  bool groups = false;
};

// The snapshot of `options` (a KB is 1024 bytes). False, after a report
// under gGetSettingData_TargetExtension, when its target list could not be
// built.
bool takeSnapshot(const options::RunOptions& options, TransferOptions& snapshot);

}  // namespace msifter::engine
