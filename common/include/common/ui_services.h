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
inline constexpr int OkOnly = 0;
inline constexpr int OkCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;
inline constexpr int SystemModal = 4096;
inline constexpr int ButtonMask = 0x0F;
inline constexpr int IconMask = 0xF0;
inline constexpr int DefaultMask = 0xF00;
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
inline constexpr int Minimized = 2;
inline constexpr int Maximized = 3;
inline constexpr int NoActivate = 4;
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
