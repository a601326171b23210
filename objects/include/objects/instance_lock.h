// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lock that tells whether another instance of the program is running.
//
// It is flock(2) on a file: the kernel lets go of it when the holder's
// process ends in any way, so only a live instance can ever refuse a start.
// What the file holds does not matter; an empty, damaged or old lock file is
// simply locked again.
#include <string>

#include "platform/unique_fd.h"

namespace msifter::objects {

enum class InstanceLockState {
  Held,           // this process holds the lock now
  HeldElsewhere,  // another live process holds it
  Unavailable,    // no lock can be taken here (see error())
};

// Held while its descriptor is open.
class InstanceLock {
 public:
  // Tries once, without waiting. The file is created owner-only when missing;
  // a link, a folder, anything but a regular file, or a file of another user
  // is never used.
  InstanceLockState tryLock(const std::string& path);
  // The errno that made the last try Unavailable.
  int error() const { return error_; }
  bool held() const { return fd_.valid(); }
  void unlock() { fd_.reset(); }

 private:
  platform::UniqueFd fd_;
  int error_ = 0;
};

// The lock's file name: the program's title, and in a folder that all users
// share, the user's id as well, so that no user can hold another's lock.
std::string instanceLockFileName(bool sharedFolder);

}  // namespace msifter::objects
