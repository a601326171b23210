#include "transfer_helpers.h"

#include <cerrno>

#include "common/failure.h"
#include "objects/file_operation.h"

namespace msifter::engine {

namespace {

// An operation that was not carried out: its reason for the caller and the guard.
[[noreturn]] void notCarriedOut(const objects::clsFileOperation& op, int* error) {
  const int reason = op.LastResult() ? op.LastResult() : EIO;
  if (error) *error = reason;
  common::failErrno(reason);
}

}  // namespace

bool gMoveFile(platform::DestinationFolder& destination, const std::string& source,
               const NameSource& names, int* error) {
  return common::guardLog("gMoveFile", false, [&] {
    objects::clsFileOperation op;
    if (!op.MoveInto(destination, source, names)) notCarriedOut(op, error);
    return true;
  });
}

bool gCopyFile(platform::DestinationFolder& destination, const std::string& source,
               const NameSource& names, int* error) {
  return common::guardLog("gCopyFile", false, [&] {
    objects::clsFileOperation op;
    if (!op.CopyInto(destination, source, names)) notCarriedOut(op, error);
    return true;
  });
}

}  // namespace msifter::engine
