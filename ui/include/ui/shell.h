// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder dialog, opening targets with their associated program, and the
// help page.
#include <string>

class QWidget;

namespace msifter::ui {

// Directories only; "" when the user cancels.
std::string gShowSelectDirDlg(QWidget* owner);
// False when the target could not be opened; a local target that does not
// exist fails before anything is launched.
bool gShellExecute(const std::string& target, int showCommand);
// Opens index.html beside the executable; message 14 when it cannot.
bool gDspHelp();

// True for "scheme://..." and "mailto:" addresses, false for local paths.
bool isWebAddress(const std::string& target);
// The work of gShellExecute without the services: checks a local target and
// hands it to the desktop.
bool openWithDesktop(const std::string& target);

}  // namespace msifter::ui
