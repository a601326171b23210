// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_helpers.h"

#include "common/failure.h"
#include "objects/file_operation.h"

namespace msifter::engine {

platform::OsError gMoveFile(platform::DestinationFolder& destination, const std::string& source,
                            const NameSource& names) {
  return common::guardResult("gMoveFile", [&] {
    objects::clsFileOperation op;
    return op.MoveInto(destination, source, names);
  });
}

platform::OsError gCopyFile(platform::DestinationFolder& destination, const std::string& source,
                            const NameSource& names) {
  return common::guardResult("gCopyFile", [&] {
    objects::clsFileOperation op;
    return op.CopyInto(destination, source, names);
  });
}

}  // namespace msifter::engine
