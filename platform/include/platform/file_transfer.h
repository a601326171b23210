#pragma once
// The file operation service: move, copy, rename, delete and the trash, over
// POSIX calls, driven by the option bits of the shell's file operation.
//
// Nothing here ever replaces an existing file: a taken destination is
// refused atomically (RENAME_NOREPLACE, linkat), also when it appears while
// the operation runs. Single files go through DestinationFolder (see
// destination_folder.h): no partial file ever carries a final name, and a
// moved source is removed only after its copy is on disk.
#include <cstdint>
#include <string>

namespace msifter::platform {

// The operations and option bits as the shell's request record numbers them.
enum class FileFunction : uint32_t { Move = 1, Copy = 2, Delete = 3, Rename = 4 };

namespace fof {
inline constexpr uint32_t Silent = 0x0004;
inline constexpr uint32_t RenameOnCollision = 0x0008;
inline constexpr uint32_t NoConfirmation = 0x0010;
inline constexpr uint32_t AllowUndo = 0x0040;
inline constexpr uint32_t SimpleProgress = 0x0100;
inline constexpr uint32_t NoConfirmMkdir = 0x0200;
}  // namespace fof

enum class TransferStatus { Done, TargetExists, Failed };

struct TransferResult {
  TransferStatus status = TransferStatus::Failed;
  int error = 0;  // errno of the failing step
  bool done() const { return status == TransferStatus::Done; }
};

// Moves one file or folder to exactly `to`. A file between file systems is
// copied with its mode, owner, times, extended attributes and holes, flushed,
// and only then is the source removed (if it still is the file that was
// copied); any failure leaves the source as it was and no copy. A link is
// moved as the link itself. A folder between file systems is copied under a
// temporary name, flushed, renamed into place, then removed.
TransferResult moveFile(const std::string& from, const std::string& to);

// Copies one file (a link is followed) or folder tree to exactly `to`,
// keeping modes, owners where permitted, times, extended attributes and
// holes. The source is never touched; copies are not flushed (as cp).
TransferResult copyFile(const std::string& from, const std::string& to);

// What the last fileOperation() found, for callers that pick another name
// themselves when the target is taken.
struct FileOperationReport {
  bool targetExisted = false;
  std::string finalPath;  // where the source ended up
};

// One shell-style operation; 0 on success, otherwise the errno of the
// failure. The rules where the shell would have asked somebody:
// - an existing target is never replaced: the result is EEXIST, unless
//   RenameOnCollision gives the new file a free name ("name (2).ext");
// - a missing destination folder is created only with NoConfirmMkdir or
//   NoConfirmation, otherwise the result is ENOENT.
// A destination that ends in "/" names the folder to move or copy into;
// otherwise it is the new path itself. Delete with AllowUndo goes to the
// trash; Rename is a move within one file system.
int fileOperation(FileFunction function, const std::string& from, const std::string& to,
                  uint32_t flags, FileOperationReport* report = nullptr);

// Moves a file or folder to the user's freedesktop.org trash (the home
// trash, or the trash at the top of the file system it lives on).
bool moveToTrash(const std::string& path);

// Lets the window system repaint during long work: passes the event loop at
// most about ten times a second, however often it is called.
void keepUiAlive();

}  // namespace msifter::platform
