// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/lifecycle.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/app.h"
#include "common/failure.h"
#include "common/msg.h"
#include "common/ui_services.h"
#include "engine/time_helpers.h"
#include "objects/instance_lock.h"
#include "ui/frm_about.h"
#include "ui/frm_end_program.h"
#include "ui/frm_menu.h"

namespace msifter::ui {

namespace {

objects::InstanceLock& instanceLock() {
  static objects::InstanceLock lock;
  return lock;
}

// Each window object lives in its owner slot until it is destroyed; the
// reference is what the rest of the program sees, and an unload clears it.
struct FormSlots {
  std::unique_ptr<FrmMenu> menuOwner;
  std::unique_ptr<FrmAbout> aboutOwner;
  std::unique_ptr<FrmEndProgram> endOwner;
  FrmMenu* menu = nullptr;
  FrmAbout* about = nullptr;
  FrmEndProgram* end = nullptr;
};

FormSlots& forms() {
  static FormSlots held;
  return held;
}

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

}  // namespace

std::string instanceLockPath() {
  QString folder;
  bool shared = false;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0' &&
      QFileInfo(QString::fromLocal8Bit(runtime)).isDir()) {
    folder = QString::fromLocal8Bit(runtime);
  } else {
    folder = QDir::tempPath();
    shared = true;
  }
  return QFile::encodeName(folder + QStringLiteral("/")).toStdString() +
         objects::instanceLockFileName(shared);
}

void releaseInstanceLock() { instanceLock().unlock(); }

void gChkDoubleStarting(bool showMessage) {
  common::guardLog("gChkDoubleStarting", false, [&] {
    common::clearError();
    auto& lock = instanceLock();
    if (lock.held()) return true;
    const std::string path = instanceLockPath();
    switch (lock.tryLock(path)) {
      case objects::InstanceLockState::Held: return true;
      case objects::InstanceLockState::HeldElsewhere:
        if (showMessage) common::ui().messageBox("既に起動されています", common::mb::OkOnly, "");
        common::ui().endProgram(kExitSuccess);
      case objects::InstanceLockState::Unavailable: break;
    }
    // Without a lock nothing tells of a running instance; refusing would
    // keep the program from ever starting, so it starts and says why in the
    // log. The start goes on, so the report gets no dialog.
    const int error = lock.error();
    common::raiseError(common::errorNumberFromErrno(error));
    const bool dialogWasOff = common::gblnNoErrDialog;
    common::gblnNoErrDialog = true;
    common::gProcError("gChkDoubleStarting", path + ": " + std::strerror(error));
    common::gblnNoErrDialog = dialogWasOff;
    return true;
  });
}

std::string startupFailureText() {
  const std::string crlf = "\r\n";
  return crlf + "回避不可能なエラーが発生しました｡" + crlf + "「" + common::kAppTitle +
         "」を終了します。" + crlf + "このアプリケーションの作者にエラー報告を" + crlf +
         "して頂けると有り難いです｡" + crlf + "報告方法は「説明書」に記載してあります。" + crlf;
}

void Main() {
  common::guardFatal("main", [&] {
    gChkDoubleStarting(false);
    common::gblnNoErrDialog = true;
    const std::string failureText = startupFailureText();
    if (!common::gMsgInit(common::messageDatabasePath(), common::kMsgPassword)) {
      common::ui().messageBox(std::string(kMissingDatabaseMessage) + failureText,
                              common::mb::OkOnly | common::mb::Critical, "");
      common::gProcError("Main", kMissingDatabaseLogDetail);
      common::ui().endProcessing();
      common::ui().endProgram(kExitFailure);
    }
    auto& held = forms();
    held.menuOwner = std::make_unique<FrmMenu>();
    held.menu = held.menuOwner.get();
    if (!gDspForm(*held.menu, FormPosition::Centred, FormModal::Modeless, FormState::Normal))
      common::gProcFatalError("main", "");
    common::ui().processEvents();
  });
}

FrmMenu* frmMenu() { return forms().menu; }
FrmAbout* frmAbout() { return forms().about; }
FrmEndProgram* frmEndProgram() { return forms().end; }

FrmAbout& loadAboutForm() {
  auto& held = forms();
  if (held.about == nullptr) {
    held.aboutOwner = std::make_unique<FrmAbout>();
    held.about = held.aboutOwner.get();
  }
  return *held.about;
}

void clearFormReference(const void* form) {
  auto& held = forms();
  if (held.menu == form) held.menu = nullptr;
  if (held.about == form) held.about = nullptr;
  if (held.end == form) held.end = nullptr;
}

void destroyForms() {
  auto& held = forms();
  held.menu = nullptr;
  held.about = nullptr;
  held.end = nullptr;
  held.endOwner.reset();
  held.aboutOwner.reset();
  held.menuOwner.reset();
}

bool gProcEndProgram() {
  const bool shown = common::guardLog("gProcEndProgram", false, [&] {
    auto& held = forms();
    held.endOwner = std::make_unique<FrmEndProgram>();
    held.end = held.endOwner.get();
    if (gDspForm(*held.end, FormPosition::Centred, FormModal::Modal, FormState::Normal))
      return true;
    common::gProcError("gProcEndProgram", "");
    return false;
  });
  // Reported, by the guard or above; a program that cannot show its end
  // window ends at once.
  if (!shown) common::ui().endProgram(kExitFailure);
  return true;
}

bool gProcEndProcess() {
  // This program has no end work of its own.
  return common::guardFatal("gProcEndProcess", [] { return true; });
}

bool gProcTune(int32_t milliseconds) {
  return common::guardLog("gProcTune", false, [&] {
    common::ui().processEvents();
    if (engine::gProcSleep(milliseconds)) return true;
    common::gProcError("gProcTune", "");
    return false;
  });
}

}  // namespace msifter::ui
