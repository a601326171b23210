#pragma once
// gMoveFile and gCopyFile: one file of a run moved or copied into the run's
// destination folder, opened once, under a name from the mover (a taken
// name is never replaced; the next one is asked for).
#include <functional>
#include <string>

namespace msifter::platform {
class DestinationFolder;
}

namespace msifter::engine {

using NameSource = std::function<std::string()>;

// False when the file was not transferred, after a report under the
// procedure's name; `error` receives the system's reason.
bool gMoveFile(platform::DestinationFolder& destination, const std::string& source,
               const NameSource& names, int* error);
bool gCopyFile(platform::DestinationFolder& destination, const std::string& source,
               const NameSource& names, int* error);

}  // namespace msifter::engine
