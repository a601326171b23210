// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One file moved or copied from path to path by the file-operation object,
// the drive test over the drive object, and the replacement the folder
// dialog once needed to clean its answer of NUL characters. Each reports a
// failure under its own name.
#include <cstdint>
#include <string>

namespace msifter::legacy {

// Never replace an existing destination file.
bool gMoveFile(const std::string& source, const std::string& destination, bool interactive);
bool gCopyFile(const std::string& source, const std::string& destination);
// A mount point whose root can be listed.
bool gChkDriveMediaCondition(const std::string& drive);
// Replaces from left to right, at most maxCount times counted in doneCount.
// On return doneCount is one more than the replacements made when the text
// ran out of occurrences, and equals maxCount when the limit stopped it.
bool gProcTransString(std::string& text, const std::string& findText,
                      const std::string& replaceText, int32_t maxCount, int32_t& doneCount);

}  // namespace msifter::legacy
