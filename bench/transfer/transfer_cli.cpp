// One transfer run from the command line, the way the window starts it:
//   transfer_cli move|copy SOURCE DESTINATION [--serial]
// Every file of SOURCE and its subfolders goes to DESTINATION under its new
// name; the summary line goes to standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/run.h"

using namespace msifter::engine;

namespace {

class CliWindow : public ExecuteWindow {
 public:
  TransferOptions options;
  std::string summary;

  bool isChecked(msifter::common::Check box) const override {
    return box == msifter::common::Check::AllFile;
  }
  std::string otherText() const override { return ""; }
  bool checkSettings() override { return true; }
  void enterBusyState() override {}
  void saveSettings() override {}
  TransferOptions takeSnapshot() override { return options; }
  ProgressLabel* progressLabel() override { return &label_; }
  void showSummary(const std::string& text) override { summary = text; }
  void leaveBusyState() override {}

 private:
  struct : ProgressLabel {
    void setCaption(const std::string&) override {}
  } label_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || (std::strcmp(argv[1], "move") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: %s move|copy SOURCE DESTINATION [--serial]\n", argv[0]);
    return 2;
  }
  CliWindow window;
  window.options.serverDir = argv[2];
  window.options.receiveDir = argv[3];
  window.options.subFolder = true;
  window.options.copyFiles = std::strcmp(argv[1], "copy") == 0;
  window.options.renameMethod = argc > 4 && std::strcmp(argv[4], "--serial") == 0
                                    ? RenameMethod::SerialNumber
                                    : RenameMethod::DateTime;
  executeCommand(window);
  std::printf("%s\n", window.summary.c_str());
  return 0;
}
