// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a call of the operating-system layer ends: nothing, or the errno of the
// system call that failed, what that call was, and the path it was given
// where that helps. An empty OsError is a success, so that
//   if (OsError e = folder.open(path)) return e;
// reads "if the open failed". Success costs no allocation.
#include <string>

namespace msifter::platform {

class [[nodiscard]] OsError {
 public:
  OsError() = default;
  // `code` 0 becomes EIO: a failure always has a reason.
  OsError(int code, const char* operation, std::string path = {});
  // The failure that the system call `operation` has just left in errno.
  static OsError fromErrno(const char* operation, std::string path = {});

  explicit operator bool() const { return code_ != 0; }
  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  // The failing call ("open", "linkat", "syncfs"); "" after a success.
  const char* operation() const { return operation_; }
  const std::string& path() const { return path_; }
  // The name asked for is taken: the one failure a caller may answer by
  // trying another name.
  bool nameTaken() const;
  // Nothing is at the path (ENOENT), or a part of it is no folder
  // (ENOTDIR): an answer about the path, not a failure to look.
  bool nothingThere() const;
  // A lock asked for without waiting is held by another (EWOULDBLOCK).
  bool heldElsewhere() const;
  // "open /a/b: No such file or directory"; "" after a success.
  std::string message() const;

 private:
  int code_ = 0;
  const char* operation_ = "";
  std::string path_;
};

}  // namespace msifter::platform
