// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// clsFileOperation as a run uses it: one file moved or copied into the run's
// destination folder, never replacing a file there.
//
// The object reports nothing itself: an operation that was not carried out
// answers the system's reason (platform::OsError) for the caller's guard to
// report, and an unexpected failure inside a member (RuntimeFailure) reaches
// that guard too. The shell's option bits and its path-to-path
// operations mean nothing to a transfer into an opened folder; they are the
// test-only legacy::clsFileOperation.
#include <functional>
#include <string>

#include "platform/os_error.h"

namespace msifter::platform {
class DestinationFolder;
}  // namespace msifter::platform

namespace msifter::objects {

class clsFileOperation {
 public:
  // The new name comes from `names`, asked again while a name is taken. A
  // move between file systems completes when its batch settles.
  using NameSource = std::function<std::string()>;
  platform::OsError MoveInto(platform::DestinationFolder& destination, const std::string& strFrom,
                             const NameSource& names);
  // A source ending in one "/" loses it (only one).
  platform::OsError CopyInto(platform::DestinationFolder& destination, const std::string& strFrom,
                             const NameSource& names);

  // Whether the last operation left its source where it was because the
  // target name was taken (so that a caller can pick another name).
  bool TargetExisted() const { return targetExisted_; }
  // The system's reason (errno) when the last operation was not carried
  // out, 0 after a success.
  int LastResult() const { return lastResult_; }

 protected:
  static std::string withoutOneSeparator(const std::string& path);
  bool recordResult(const platform::OsError& result, bool targetExisted);

 private:
  bool targetExisted_ = false;
  int lastResult_ = 0;
};

}  // namespace msifter::objects
