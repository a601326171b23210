// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ui_services.h"

#include <cstdio>
#include <cstdlib>

namespace msifter::common {

namespace {

// Without a window system: boxes go to standard error and answer OK.
class HeadlessUi final : public UiServices {
 public:
  int messageBox(const std::string& text, int, const std::string& title) override {
    std::fprintf(stderr, "[%s] %s\n", title.c_str(), text.c_str());
    return answer::Ok;
  }
  void setBusyCursor(bool) override {}
  void processEvents() override {}
  bool shellExecute(const std::string&, int) override { return false; }
  bool endProcessing() override { return true; }
  [[noreturn]] void endProgram(int exitCode) override {
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
};

HeadlessUi headless;
UiServices* installed = nullptr;

}  // namespace

UiServices& ui() { return installed ? *installed : headless; }

void setUi(UiServices* services) { installed = services; }

}  // namespace msifter::common
