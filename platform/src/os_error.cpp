// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/os_error.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace msifter::platform {

OsError::OsError(int code, const char* operation, std::string path)
    : code_(code != 0 ? code : EIO), operation_(operation), path_(std::move(path)) {}

OsError OsError::fromErrno(const char* operation, std::string path) {
  return OsError(errno, operation, std::move(path));
}

bool OsError::nameTaken() const { return code_ == EEXIST; }
bool OsError::nothingThere() const { return code_ == ENOENT || code_ == ENOTDIR; }
bool OsError::heldElsewhere() const { return code_ == EWOULDBLOCK; }

std::string OsError::message() const {
  if (code_ == 0) return {};
  std::string text = operation_;
  if (!path_.empty()) text += " " + path_;
  return text + ": " + std::strerror(code_);
}

}  // namespace msifter::platform
