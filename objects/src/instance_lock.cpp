// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/instance_lock.h"

#include <utility>

#include "common/app.h"
#include "platform/own_files.h"
#include "platform/system.h"
#include "platform/unique_fd.h"

namespace msifter::objects {

InstanceLockState InstanceLock::tryLock(const std::string& path) {
  unlock();
  error_ = 0;
  platform::UniqueFd fd;
  if (const platform::OsError e = platform::openOwnLockFile(path, fd)) {
    error_ = e.code();
    return InstanceLockState::Unavailable;
  }
  const platform::OsError e =
      platform::lockFile(fd.get(), platform::LockMode::Exclusive, platform::LockWait::DontWait);
  if (e.heldElsewhere()) return InstanceLockState::HeldElsewhere;
  if (e) {
    error_ = e.code();
    return InstanceLockState::Unavailable;
  }
  fd_ = std::move(fd);
  return InstanceLockState::Held;
}

std::string instanceLockFileName(bool sharedFolder) {
  std::string name = common::kAppTitle;
  if (sharedFolder) name += "-" + std::to_string(platform::effectiveUserId());
  return name + ".lock";
}

}  // namespace msifter::objects
