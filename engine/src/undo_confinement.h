// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where undo may act: a path read back from a journal is touched only below
// the folder that the run was given for it, and only when no folder on the
// way is a link. A journal is a text file a user may edit.
#include <string>

#include "engine/mover.h"

namespace msifter::engine::detail {

// 0 when `file` may be taken back: its source below `sourceRoot` and its new
// path below `destinationRoot`, by their text (no ".." on the way) and with
// no link in a folder that exists between. EXDEV for a path outside, ELOOP
// for one through a link, another errno when that could not be told.
int confinementError(const TransferredFile& file, const std::string& sourceRoot,
                     const std::string& destinationRoot);
// The same for a file's backup below the run's backup folder.
int backupConfinementError(const BackupCopy& backup, const std::string& backupRoot);

}  // namespace msifter::engine::detail
