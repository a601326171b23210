// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// gMoveFile and gCopyFile: one file of a run moved or copied into the run's
// destination folder, opened once, under a name from the mover (a taken
// name is never replaced; the next one is asked for).
#include <functional>
#include <string>

#include "platform/os_error.h"

namespace msifter::platform {
class DestinationFolder;
}

namespace msifter::engine {

using NameSource = std::function<std::string()>;

// The system's reason when the file was not transferred, after a report
// under the procedure's name; nothing when it was.
platform::OsError gMoveFile(platform::DestinationFolder& destination, const std::string& source,
                            const NameSource& names);
platform::OsError gCopyFile(platform::DestinationFolder& destination, const std::string& source,
                            const NameSource& names);

}  // namespace msifter::engine
