// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "common/app.h"
#include "common/failure.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/ui_services.h"
#include "ui/appearance.h"

namespace msifter::ui {

namespace {

constexpr const char* kSelectDirTitle = "ﾌｫﾙﾀﾞを選択してください";

bool localTargetExists(const std::string& target) {
  return !target.empty() && QFileInfo::exists(QFile::decodeName(target.c_str()));
}

// The file dialog keeps its history and last folder in a settings file of
// its own among the user's configuration; this program keeps nothing beyond
// its settings store, so for as long as the dialog lives that file goes to a
// folder that is then removed.
class DialogSettingsAside {
 public:
  DialogSettingsAside() {
    if (folder_.isValid())
      QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder_.path());
  }
  ~DialogSettingsAside() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  }
  DialogSettingsAside(const DialogSettingsAside&) = delete;
  DialogSettingsAside& operator=(const DialogSettingsAside&) = delete;

 private:
  QTemporaryDir folder_;
};

}  // namespace

std::string gShowSelectDirDlg(QWidget* owner) {
  return common::guardLog("gShowSelectDirDlg", std::string(), [&] {
    const DialogSettingsAside aside;
    // Starts at the top of the user's own space, as the desktop root did.
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromUtf8(kSelectDirTitle), QDir::homePath(), QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::string() : pathBytes(QDir::toNativeSeparators(chosen));
  });
}

bool isWebAddress(const std::string& target) {
  if (target.rfind("mailto:", 0) == 0) return true;
  const auto scheme = target.find("://");
  if (scheme == std::string::npos || scheme == 0) return false;
  for (std::size_t i = 0; i < scheme; ++i) {
    const char c = target[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool openWithDesktop(const std::string& target) {
  if (isWebAddress(target))
    return QDesktopServices::openUrl(QUrl(QString::fromUtf8(target.c_str())));
  // A missing file would otherwise start a program that only complains.
  if (!localTargetExists(target)) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(target.c_str())));
}

bool gShellExecute(const std::string& target, int showCommand) {
  return common::guardLog("gShellExecute", false, [&] {
    if (!isWebAddress(target) && !localTargetExists(target)) return false;
    return common::ui().shellExecute(target, showCommand);
  });
}

bool gDspHelp() {
  return common::guardLog("gDspHelp", false, [&] {
    const std::string page = common::gAddBackslash(common::applicationFolder()) + "index.html";
    if (gShellExecute(page, common::show::Maximized)) return true;
    common::gDispMsg(msgcode::HelpNotShown);
    common::gProcError("gDspHelp", "");
    return false;
  });
}

}  // namespace msifter::ui
