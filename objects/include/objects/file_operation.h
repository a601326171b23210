#pragma once
// clsFileOperation: one file operation (move, copy, rename, delete, trash)
// with the shell's option bits, set through Boolean properties.
//
// The object reports nothing itself: an operation that was not carried out
// gives False, and an unexpected failure inside a member (RuntimeFailure)
// reaches the caller's guard.
#include <cstdint>
#include <functional>
#include <string>

namespace msifter::platform {
class DestinationFolder;
class OsError;
enum FileFunction : uint32_t;
}  // namespace msifter::platform

namespace msifter::objects {

// The operations and option bits are the shell's FO_ and FOF_ constants, as
// platform/file_transfer.h defines them.
class clsFileOperation {
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
  // Move and Copy into a run's destination folder, opened once for the
  // whole run: the new name comes from `names`, asked again while a name is
  // taken. A move between file systems completes when its batch settles.
  using NameSource = std::function<std::string()>;
  bool MoveInto(platform::DestinationFolder& destination, const std::string& strFrom,
                const NameSource& names);
  bool CopyInto(platform::DestinationFolder& destination, const std::string& strFrom,
                const NameSource& names);

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

  // Whether the last operation left its source where it was because the
  // target name was taken (so that a caller can pick another name).
  bool TargetExisted() const { return targetExisted_; }
  // The system's reason (errno) when the last operation was not carried
  // out, 0 after a success.
  int LastResult() const { return lastResult_; }

 private:
  bool RunOperation(const std::string& source, const std::string& destination,
                    platform::FileFunction function);
  bool recordResult(const platform::OsError& result);
  void setBit(uint32_t bit, bool on);
  bool hasBit(uint32_t bit) const { return (static_cast<uint32_t>(flags_) & bit) != 0; }

  int64_t ownerWindow_ = 0;
  int32_t flags_ = 0;
  bool targetExisted_ = false;
  int lastResult_ = 0;
};

}  // namespace msifter::objects
