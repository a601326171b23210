// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/file_operation.h"

#include "platform/destination_folder.h"

namespace msifter::objects {

std::string clsFileOperation::withoutOneSeparator(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

platform::OsError clsFileOperation::MoveInto(platform::DestinationFolder& destination,
                                             const std::string& strFrom, const NameSource& names) {
  platform::OsError result = destination.move(strFrom, names);
  recordResult(result, result.nameTaken());
  return result;
}

platform::OsError clsFileOperation::CopyInto(platform::DestinationFolder& destination,
                                             const std::string& strFrom, const NameSource& names) {
  platform::OsError result = destination.copy(withoutOneSeparator(strFrom), names);
  recordResult(result, result.nameTaken());
  return result;
}

bool clsFileOperation::recordResult(const platform::OsError& result, bool targetExisted) {
  lastResult_ = result.code();
  targetExisted_ = targetExisted;
  return result.ok();
}

}  // namespace msifter::objects
