// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system calls that put files on disk, name them and remove them,
// recorded a letter each in the order they were made, for the tests of
// when a file is flushed, named and removed: F a file's flush (fsync), S a
// file system's (syncfs), N a name given (a rename or a link that
// succeeded), U an entry removed.
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/syscalls.h"

namespace msifter::testing {

class RecordedCalls : public platform::Syscalls {
 public:
  // The letters of the calls of the given kinds, in order.
  std::string only(std::string_view kinds) const {
    std::string kept;
    for (const char event : events_) {
      if (kinds.find(event) != std::string_view::npos) kept += event;
    }
    return kept;
  }
  // How many calls of one kind so far.
  int count(char kind) const {
    return static_cast<int>(std::count(events_.begin(), events_.end(), kind));
  }

  int fsync(int fd) override {
    events_ += 'F';
    return Syscalls::fsync(fd);
  }
  int syncfs(int fd) override {
    events_ += 'S';
    return Syscalls::syncfs(fd);
  }
  int renameAt(int fd, const char* from, int toFd, const char* to, unsigned flags) override {
    return named(Syscalls::renameAt(fd, from, toFd, to, flags));
  }
  int linkAt(int fd, const char* from, int toFd, const char* to, int flags) override {
    return named(Syscalls::linkAt(fd, from, toFd, to, flags));
  }
  int unlinkAt(int fd, const char* path, int flags) override {
    events_ += 'U';
    return Syscalls::unlinkAt(fd, path, flags);
  }

 private:
  int named(int result) {
    if (result == 0) events_ += 'N';
    return result;
  }

  std::string events_;
};

}  // namespace msifter::testing
