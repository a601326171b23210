// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_ui.h"

#include <cstdio>
#include <cstdlib>

namespace msifter::cli {

int ConsoleUi::messageBox(const std::string& text, int, const std::string&) {
  // The fatal path's texts break their lines as a Windows box does.
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  std::fprintf(stderr, "%s\n", lines.c_str());
  return common::answer::Ok;
}

void ConsoleUi::endProgram(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace msifter::cli
