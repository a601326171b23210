#pragma once
// One file moved or copied from path to path by the file-operation object,
// and the drive test over the drive object. Each creates its object for the
// one call and reports a failure under its own name.
#include <string>

namespace msifter::legacy {

// Never replace an existing destination file.
bool gMoveFile(const std::string& source, const std::string& destination, bool interactive);
bool gCopyFile(const std::string& source, const std::string& destination);
// A mount point whose root can be listed.
bool gChkDriveMediaCondition(const std::string& drive);

}  // namespace msifter::legacy
