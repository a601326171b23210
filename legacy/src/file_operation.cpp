// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/file_operation.h"

#include "common/failure.h"
#include "platform/file_transfer.h"

namespace msifter::legacy {

using platform::FOF_ALLOWUNDO;
using platform::FOF_NOCONFIRMATION;
using platform::FOF_NOCONFIRMMKDIR;
using platform::FOF_RENAMEONCOLLISION;
using platform::FOF_SILENT;
using platform::FOF_SIMPLEPROGRESS;

clsFileOperation::clsFileOperation() { flags_ = 0; }

bool clsFileOperation::RunOperation(const std::string& source, const std::string& destination,
                                    platform::FileFunction function) {
  // The shell takes its flags as a signed 16-bit word.
  if (flags_ > 0x7FFF || flags_ < -0x8000) common::fail(common::err::Overflow);
  platform::FileOperationReport report;
  const platform::OsError result = platform::fileOperation(
      function, source, destination, static_cast<uint32_t>(flags_) & 0xFFFF, &report);
  return recordResult(result, result && report.targetExisted);
}

bool clsFileOperation::Delete(const std::string& strFrom) {
  return RunOperation(withoutOneSeparator(strFrom), "", platform::FO_DELETE);
}

bool clsFileOperation::Rename(const std::string& strFrom, const std::string& strTo) {
  return RunOperation(strFrom, strTo, platform::FO_RENAME);
}

bool clsFileOperation::Move(const std::string& strFrom, const std::string& strTo) {
  return RunOperation(strFrom, strTo, platform::FO_MOVE);
}

bool clsFileOperation::Copy(const std::string& strFrom, const std::string& strTo) {
  flags_ = static_cast<int32_t>(FOF_SILENT);
  return RunOperation(withoutOneSeparator(strFrom), strTo, platform::FO_COPY);
}

// No window handle can be confirmed below the window layer, so none is kept.
void clsFileOperation::Target(int64_t /*lngNewWindow*/) { ownerWindow_ = 0; }
int64_t clsFileOperation::Target() const { return ownerWindow_; }

void clsFileOperation::setBit(uint32_t bit, bool on) {
  if (on)
    flags_ |= static_cast<int32_t>(bit);
  else
    flags_ &= ~static_cast<int32_t>(bit);
}

bool clsFileOperation::RespondDialog() const { return hasBit(FOF_NOCONFIRMATION); }
void clsFileOperation::RespondDialog(bool booRespond) { setBit(FOF_NOCONFIRMATION, booRespond); }
bool clsFileOperation::RenameOnCollision() const { return hasBit(FOF_RENAMEONCOLLISION); }
void clsFileOperation::RenameOnCollision(bool booRename) {
  setBit(FOF_RENAMEONCOLLISION, booRename);
}
void clsFileOperation::SimpleProgress(bool booSimple) { setBit(FOF_SIMPLEPROGRESS, booSimple); }
bool clsFileOperation::SimpleProgress() const { return hasBit(FOF_SIMPLEPROGRESS); }
bool clsFileOperation::ConfirmMakeDir() const { return !hasBit(FOF_NOCONFIRMMKDIR); }
void clsFileOperation::ConfirmMakeDir(bool booMakeDir) { setBit(FOF_NOCONFIRMMKDIR, !booMakeDir); }
bool clsFileOperation::ShowDialog() const { return !hasBit(FOF_SILENT); }
void clsFileOperation::ShowDialog(bool booShowDialog) { setBit(FOF_SILENT, !booShowDialog); }
bool clsFileOperation::AllowUndo() const { return hasBit(FOF_ALLOWUNDO); }
void clsFileOperation::AllowUndo(bool booUndo) { setBit(FOF_ALLOWUNDO, booUndo); }
bool clsFileOperation::Sielnt() const { return hasBit(FOF_SILENT); }
void clsFileOperation::Sielnt(bool blnSilent) { setBit(FOF_SILENT, blnSilent); }

bool clsFileOperation::Trash(const std::string& strTarget) {
  // Its own request: neither the owner window nor the option bits apply.
  return platform::fileOperation(platform::FO_DELETE, strTarget, "", FOF_ALLOWUNDO | FOF_SILENT)
      .ok();
}

}  // namespace msifter::legacy
