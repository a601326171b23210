#pragma once
// gMoveFile and gCopyFile as the mover drives them: into the run's
// destination folder, opened once, with names from the mover (a taken name
// is never replaced; the next one is asked for).
#include <functional>
#include <string>

namespace msifter::platform {
class DestinationFolder;
}

namespace msifter::engine {

using NameSource = std::function<std::string()>;

// As gMoveFile / gCopyFile: false after a report under that name.
// `error` receives the system's reason of a failure.
bool moveFileInto(platform::DestinationFolder& destination, const std::string& source,
                  const NameSource& names, int* error);
bool copyFileInto(platform::DestinationFolder& destination, const std::string& source,
                  const NameSource& names, int* error);

}  // namespace msifter::engine
