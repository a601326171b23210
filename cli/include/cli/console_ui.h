// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window system's services for a program that has no window: a message
// box is its text on standard error, and nothing waits for an answer. It
// needs no display.
#include <string>

#include "common/ui_services.h"

namespace msifter::cli {

class ConsoleUi final : public common::UiServices {
 public:
  // The text alone, one line: the window's exact message text.
  int messageBox(const std::string& text, int style, const std::string& title) override;
  void setBusyCursor(bool) override {}
  void processEvents() override {}
  // Nothing is opened for the user (the error log stays where it is).
  bool shellExecute(const std::string&, int) override { return false; }
  bool endProcessing() override { return true; }
  [[noreturn]] void endProgram(int exitCode) override;
};

}  // namespace msifter::cli
