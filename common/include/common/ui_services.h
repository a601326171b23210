// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything the program asks of the window system outside its own windows:
// message boxes, the hourglass, one pass of the event loop, opening a target
// with its associated program, the end window and the end of the program.
// The Qt build installs its implementation at start-up; tests install the
// recording double from common/testing so that nothing blocks or exits.
#include <cstdint>
#include <string>

namespace msifter::common {

// Message box styles, summed as the message catalogue stores them.
namespace mb {
enum Style : int {
  OkOnly = 0,
  OkCancel = 1,
  AbortRetryIgnore = 2,
  YesNoCancel = 3,
  YesNo = 4,
  RetryCancel = 5,
  Critical = 16,
  Question = 32,
  Exclamation = 48,
  Information = 64,
  DefaultButton2 = 256,
  DefaultButton3 = 512,
  SystemModal = 4096,
  ButtonMask = 0x0F,
  IconMask = 0xF0,
  DefaultMask = 0xF00
};
}  // namespace mb

namespace answer {
// The button the user pressed; gDispMsg answers NoMessage when it had no
// message to show.
enum ResultCode : int16_t {
  Ok = 1,
  Cancel = 2,
  Abort = 3,
  Retry = 4,
  Ignore = 5,
  Yes = 6,
  No = 7,
  NoMessage = -100
};
}  // namespace answer

// Show commands handed to shellExecute.
namespace show {
enum Command : int { Minimized = 2, Maximized = 3, NoActivate = 4 };
}  // namespace show

class UiServices {
 public:
  virtual ~UiServices() = default;

  // A modal box; an empty title means the application title. Returns the
  // pressed button (answer::*).
  virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
  virtual void setBusyCursor(bool busy) = 0;
  // Lets the window system process what is pending, once.
  virtual void processEvents() = 0;
  // Opens a file, folder or address with its associated program. False when
  // it could not be opened (a missing local target launches nothing).
  virtual bool shellExecute(const std::string& target, int showCommand) = 0;
  // The normal end processing: the end window, shown modally.
  virtual bool endProcessing() = 0;
  // Ends the program at once: no window is unloaded, nothing is saved.
  [[noreturn]] virtual void endProgram(int exitCode) = 0;
};

// The services in force. Without an installed implementation a headless one
// answers: boxes go to standard error and answer OK, the end is std::_Exit.
UiServices& ui();
// Installs services (nullptr goes back to the headless default). The caller
// keeps ownership.
void setUi(UiServices* services);

}  // namespace msifter::common
