// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// clsFileOperation whole: the run's transfers into an opened folder and the
// shell's five path-to-path operations (move, copy, rename, delete, trash)
// with the option bits set through Boolean properties.
//
// The object reports nothing itself: an operation that was not carried out
// gives False, and an unexpected failure inside a member (RuntimeFailure)
// reaches the caller's guard.
#include <cstdint>
#include <string>

#include "objects/file_operation.h"

namespace msifter::platform {
enum FileFunction : uint32_t;
}  // namespace msifter::platform

namespace msifter::legacy {

// The operations and option bits are the shell's FO_ and FOF_ constants, as
// platform/file_transfer.h defines them.
class clsFileOperation : public objects::clsFileOperation {
 public:
  clsFileOperation();

  // A source ending in one "/" loses it (only one).
  bool Delete(const std::string& strFrom);
  bool Rename(const std::string& strFrom, const std::string& strTo);
  // A destination ending in "/" is the folder to move into; otherwise it
  // is the new path. An existing target is never replaced.
  bool Move(const std::string& strFrom, const std::string& strTo);
  // Replaces every option bit by FOF_SILENT alone, for good.
  bool Copy(const std::string& strFrom, const std::string& strTo);

  void Target(int64_t lngNewWindow);
  int64_t Target() const;
  bool RespondDialog() const;
  void RespondDialog(bool booRespond);
  bool RenameOnCollision() const;
  void RenameOnCollision(bool booRename);
  void SimpleProgress(bool booSimple);
  bool SimpleProgress() const;
  // Inverted view of FOF_NOCONFIRMMKDIR.
  bool ConfirmMakeDir() const;
  void ConfirmMakeDir(bool booMakeDir);
  // Inverted view of FOF_SILENT.
  bool ShowDialog() const;
  void ShowDialog(bool booShowDialog);
  bool AllowUndo() const;
  void AllowUndo(bool booUndo);
  // FOF_SILENT itself; the name is spelled as the program has always had it.
  bool Sielnt() const;
  void Sielnt(bool blnSilent);

  // To the user's trash, silently, whatever the option bits say.
  bool Trash(const std::string& strTarget);

 private:
  bool RunOperation(const std::string& source, const std::string& destination,
                    platform::FileFunction function);
  void setBit(uint32_t bit, bool on);
  bool hasBit(uint32_t bit) const { return (static_cast<uint32_t>(flags_) & bit) != 0; }

  int64_t ownerWindow_ = 0;
  int32_t flags_ = 0;
};

}  // namespace msifter::legacy
