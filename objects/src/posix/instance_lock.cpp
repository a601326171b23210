#include "objects/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <utility>

#include "common/app.h"
#include "platform/syscalls.h"

namespace msifter::objects {

InstanceLockState InstanceLock::tryLock(const std::string& path) {
  unlock();
  error_ = 0;
  platform::Syscalls& sys = platform::syscalls();
  // Read-only is enough for flock, and lets an existing lock file be used in
  // a folder that has become read-only. O_NONBLOCK: a pipe put in its place
  // must not hang the start.
  platform::UniqueFd fd(sys.open(
      path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
  if (!fd.valid()) {
    error_ = errno;
    return InstanceLockState::Unavailable;
  }
  struct stat info {};
  if (sys.fstat(fd.get(), &info) != 0) {
    error_ = errno;
    return InstanceLockState::Unavailable;
  }
  if (!S_ISREG(info.st_mode)) {
    error_ = EINVAL;
    return InstanceLockState::Unavailable;
  }
  // Another user could otherwise keep this user from starting at all.
  if (info.st_uid != sys.geteuid()) {
    error_ = EACCES;
    return InstanceLockState::Unavailable;
  }
  int rc;
  do {
    rc = sys.flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno == EWOULDBLOCK) return InstanceLockState::HeldElsewhere;
    error_ = errno;
    return InstanceLockState::Unavailable;
  }
  fd_ = fd.release();
  return InstanceLockState::Held;
}

void InstanceLock::unlock() { platform::UniqueFd closing(std::exchange(fd_, -1)); }

std::string instanceLockFileName(bool sharedFolder) {
  std::string name = common::kAppTitle;
  if (sharedFolder) name += "-" + std::to_string(platform::syscalls().geteuid());
  return name + ".lock";
}

}  // namespace msifter::objects
