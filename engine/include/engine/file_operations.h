#pragma once
// One file moved or copied by the file-operation object, and the drive test
// over the drive object. Each creates its object for the one call.
#include <string>

namespace msifter::engine {

// Never replace an existing destination file.
bool gMoveFile(const std::string& source, const std::string& destination, bool interactive);
bool gCopyFile(const std::string& source, const std::string& destination);
bool gChkDriveMediaCondition(const std::string& drive);

}  // namespace msifter::engine
