#include "transfer_helpers.h"

#include <cerrno>

#include "common/error.h"
#include "engine/file_helpers.h"
#include "objects/drive.h"
#include "objects/file_operation.h"

namespace msifter::engine {

namespace {

// What an operation that was not carried out means for the caller.
bool notCarriedOut(const objects::clsFileOperation& op, bool* targetTaken, int* error) {
  const int reason = op.LastResult() ? op.LastResult() : EIO;
  if (error) *error = reason;
  if (targetTaken && op.TargetExisted()) {
    *targetTaken = true;
    return false;
  }
  common::failErrno(reason);
}

}  // namespace

bool moveFileChecked(const std::string& source, const std::string& destination, bool interactive,
                     bool* targetTaken, int* error) {
  if (targetTaken) *targetTaken = false;
  return common::guardLog("gMoveFile", false, [&] {
    objects::clsFileOperation op;
    op.AllowUndo(false);
    op.RespondDialog(!interactive);
    op.Sielnt(!interactive);
    if (!op.Move(source, destination)) return notCarriedOut(op, targetTaken, error);
    return true;
  });
}

bool copyFileChecked(const std::string& source, const std::string& destination, bool* targetTaken,
                     int* error) {
  if (targetTaken) *targetTaken = false;
  return common::guardLog("gCopyFile", false, [&] {
    objects::clsFileOperation op;
    op.AllowUndo(false);
    op.RespondDialog(true);
    op.Sielnt(true);
    if (!op.Copy(source, destination)) return notCarriedOut(op, targetTaken, error);
    return true;
  });
}

bool gMoveFile(const std::string& source, const std::string& destination, bool interactive) {
  return moveFileChecked(source, destination, interactive, nullptr, nullptr);
}

bool gCopyFile(const std::string& source, const std::string& destination) {
  return copyFileChecked(source, destination, nullptr, nullptr);
}

bool gChkDriveMediaCondition(const std::string& drive) {
  return common::guardLog("gChkDriveMediaCondition", false, [&] {
    objects::clsDrive d;
    d.Drive(drive);
    if (d.Enabled()) return d.MediaCondition();
    return false;
  });
}

}  // namespace msifter::engine
