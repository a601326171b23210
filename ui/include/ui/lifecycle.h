// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's life: start-up (Main), the single-instance lock, the
// program-wide window references and the end sequence.
#include <cstdint>
#include <string>

namespace msifter::ui {

class FrmMenu;
class FrmAbout;
class FrmEndProgram;

// Runs the start-up. Returns with the main window shown; the caller then
// runs the event loop. Ends the program itself when it must not go on.
void Main();

// Ends the program at once when another instance holds the lock.
void gChkDoubleStarting(bool showMessage);
// The lock file that tells a running instance: in XDG_RUNTIME_DIR when it
// names a folder, otherwise in the temporary folder under a per-user name.
std::string instanceLockPath();
// Lets go of the lock (at the end, and between tests).
void releaseInstanceLock();

// The text that the start-up failure message ends with.
std::string startupFailureText();
inline constexpr const char* kMissingDatabaseMessage =
    "必要とするメッセージデータベースが開けません";
inline constexpr const char* kMissingDatabaseLogDetail =
    "必要とするメッセージマスタデータベースが開けません。";

// Program-wide references; null when the window is not loaded.
FrmMenu* frmMenu();
FrmAbout* frmAbout();
FrmEndProgram* frmEndProgram();
// Creates the About window afresh when it is not loaded.
FrmAbout& loadAboutForm();
// Called by each window's unload.
void clearFormReference(const void* form);
// Destroys every window object still held; called once the event loop has
// returned, before the application object goes.
void destroyForms();

// The end window, shown modally; ends the program at once when it cannot be
// shown.
bool gProcEndProgram();
bool gProcEndProcess();
// One pass of the event loop, then a wait of `milliseconds`.
bool gProcTune(int32_t milliseconds);

}  // namespace msifter::ui
