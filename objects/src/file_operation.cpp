#include "objects/file_operation.h"

#include "platform/destination_folder.h"

namespace msifter::objects {

std::string clsFileOperation::withoutOneSeparator(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

bool clsFileOperation::MoveInto(platform::DestinationFolder& destination,
                                const std::string& strFrom, const NameSource& names) {
  const platform::OsError result = destination.move(strFrom, names);
  return recordResult(result, result.nameTaken());
}

bool clsFileOperation::CopyInto(platform::DestinationFolder& destination,
                                const std::string& strFrom, const NameSource& names) {
  const platform::OsError result = destination.copy(withoutOneSeparator(strFrom), names);
  return recordResult(result, result.nameTaken());
}

bool clsFileOperation::recordResult(const platform::OsError& result, bool targetExisted) {
  lastResult_ = result.code();
  targetExisted_ = targetExisted;
  return result.ok();
}

}  // namespace msifter::objects
