#include "transfer_helpers.h"

#include <cerrno>

#include "common/failure.h"
#include "engine/file_operations.h"
#include "objects/drive.h"
#include "objects/file_operation.h"

namespace msifter::engine {

namespace {

// An operation that was not carried out: its reason for the caller and the guard.
[[noreturn]] void notCarriedOut(const objects::clsFileOperation& op, int* error) {
  const int reason = op.LastResult() ? op.LastResult() : EIO;
  if (error) *error = reason;
  common::failErrno(reason);
}

objects::clsFileOperation moveOperation(bool interactive) {
  objects::clsFileOperation op;
  op.AllowUndo(false);
  op.RespondDialog(!interactive);
  op.Sielnt(!interactive);
  return op;
}

objects::clsFileOperation copyOperation() {
  objects::clsFileOperation op;
  op.AllowUndo(false);
  op.RespondDialog(true);
  op.Sielnt(true);
  return op;
}

}  // namespace

bool moveFileInto(platform::DestinationFolder& destination, const std::string& source,
                  const NameSource& names, int* error) {
  return common::guardLog("gMoveFile", false, [&] {
    objects::clsFileOperation op = moveOperation(false);
    if (!op.MoveInto(destination, source, names)) notCarriedOut(op, error);
    return true;
  });
}

bool copyFileInto(platform::DestinationFolder& destination, const std::string& source,
                  const NameSource& names, int* error) {
  return common::guardLog("gCopyFile", false, [&] {
    objects::clsFileOperation op = copyOperation();
    if (!op.CopyInto(destination, source, names)) notCarriedOut(op, error);
    return true;
  });
}

bool gMoveFile(const std::string& source, const std::string& destination, bool interactive) {
  return common::guardLog("gMoveFile", false, [&] {
    objects::clsFileOperation op = moveOperation(interactive);
    if (!op.Move(source, destination)) notCarriedOut(op, nullptr);
    return true;
  });
}

bool gCopyFile(const std::string& source, const std::string& destination) {
  return common::guardLog("gCopyFile", false, [&] {
    objects::clsFileOperation op = copyOperation();
    if (!op.Copy(source, destination)) notCarriedOut(op, nullptr);
    return true;
  });
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
