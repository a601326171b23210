#include "legacy/file_helpers.h"

#include <cerrno>

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

}  // namespace msifter::legacy
