// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/file_helpers.h"

#include <cerrno>
#include <limits>

#include "common/failure.h"
#include "legacy/drive.h"
#include "legacy/file_operation.h"

namespace msifter::legacy {

namespace {

// An operation that was not carried out: its reason for the guard.
[[noreturn]] void notCarriedOut(const clsFileOperation& op) {
  common::failErrno(op.LastResult() ? op.LastResult() : EIO);
}

}  // namespace

bool gMoveFile(const std::string& source, const std::string& destination, bool interactive) {
  return common::guardLog("gMoveFile", false, [&] {
    clsFileOperation op;
    op.AllowUndo(false);
    op.RespondDialog(!interactive);
    op.Sielnt(!interactive);
    if (!op.Move(source, destination)) notCarriedOut(op);
    return true;
  });
}

bool gCopyFile(const std::string& source, const std::string& destination) {
  return common::guardLog("gCopyFile", false, [&] {
    clsFileOperation op;
    op.AllowUndo(false);
    op.RespondDialog(true);
    op.Sielnt(true);
    if (!op.Copy(source, destination)) notCarriedOut(op);
    return true;
  });
}

bool gChkDriveMediaCondition(const std::string& drive) {
  return common::guardLog("gChkDriveMediaCondition", false, [&] {
    clsDrive d;
    d.Drive(drive);
    if (d.Enabled()) return d.MediaCondition();
    return false;
  });
}

bool gProcTransString(std::string& text, const std::string& findText,
                      const std::string& replaceText, int32_t maxCount, int32_t& doneCount) {
  return common::guardLog("gProcTransString", false, [&] {
    std::size_t start = 0;
    for (;;) {
      // An empty findText is never found: it would otherwise "match" forever.
      const std::size_t at = findText.empty() ? std::string::npos : text.find(findText, start);
      if (doneCount == maxCount) return true;
      if (doneCount == std::numeric_limits<int32_t>::max()) common::fail(common::err::Overflow);
      ++doneCount;
      if (at == std::string::npos) return true;
      text.replace(at, findText.size(), replaceText);
      start = at + replaceText.size();
    }
  });
}

}  // namespace msifter::legacy
