// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file read from start to end or at chosen offsets, with the identity it
// had when it was opened (file_identity.h), and files compared byte for
// byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_identity.h"
#include "platform/os_error.h"
#include "platform/unique_fd.h"

namespace msifter::platform {

class FileWindow;

// A regular file open for reading, from its first byte on.
class ReadOnlyFile {
 public:
  // `path` is taken relative to the folder open at `folderFd` (AT_FDCWD:
  // the current folder; an absolute path ignores it). Anything but a
  // regular file is refused (EINVAL), and a pipe never blocks the open.
  OsError open(int folderFd, const std::string& path, LastLink link);
  // `path` relative to the current folder.
  OsError open(const std::string& path, LastLink link);
  bool isOpen() const { return fd_.valid(); }
  const FileIdentity& identity() const { return identity_; }
  // Reads the next `count` bytes, fewer only at the end of the file.
  OsError read(unsigned char* buffer, std::size_t count, std::size_t& got);
  // Reads on from byte `offset`.
  OsError seek(int64_t offset);
  // One read of at most `count` bytes at `offset`, wherever read() stands;
  // `got` 0 at the end of the file.
  OsError readAt(int64_t offset, void* buffer, std::size_t count, std::size_t& got) const;
  // True when the file still has the identity it had when it was opened:
  // what was read from it is what it holds.
  bool unchanged() const;
  // Shows `count` bytes from `offset` (a multiple of kWindowAlignment) in
  // `window`, without copying them. Read them only inside readMapped().
  // AllNow reads them in at once (they are all going to be compared);
  // AsTouched only the pages read.
  enum class Paging { AllNow, AsTouched };
  OsError map(int64_t offset, std::size_t count, FileWindow& window,
              Paging paging = Paging::AllNow) const;
  void close() { fd_.reset(); }

 private:
  OsError takeIdentity(const std::string& path);

  UniqueFd fd_;
  FileIdentity identity_;
};

// Bytes of a file seen in place, read-only; unmapped when it goes.
class FileWindow {
 public:
  FileWindow() = default;
  ~FileWindow() { reset(); }
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;
  const unsigned char* data() const { return static_cast<const unsigned char*>(address_); }
  std::size_t size() const { return size_; }
  void reset();

 private:
  friend class ReadOnlyFile;
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

// Offsets of windows are multiples of this.
inline constexpr int64_t kWindowAlignment = 64 * 1024;

// Calls `visit(context)`, which reads bytes of file windows. A file cut
// short meanwhile, or one whose medium fails, makes the system stop the
// read (SIGBUS); readMapped() then returns false instead of the program
// ending. `visit` must own nothing that needs destroying: it is left at
// the failing read.
bool readMapped(void (*visit)(void*), void* context);

// The identity of the regular file at `path` under `folderFd` (an absolute
// path ignores it), without opening it; EINVAL for anything else.
OsError identityAt(int folderFd, const std::string& path, LastLink link, FileIdentity& identity);

// The files at `a` and `b` (links followed) hold the same bytes; false also
// when either cannot be read.
bool sameBytes(const std::string& a, const std::string& b);

}  // namespace msifter::platform
