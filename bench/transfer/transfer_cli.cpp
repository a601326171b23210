// One transfer run from the command line, the way the window starts it:
//   transfer_cli move|copy SOURCE DESTINATION [--serial]
// Every file of SOURCE and its subfolders goes to DESTINATION under its new
// name; the summary line goes to standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "every_file_window.h"

using namespace msifter::engine;

int main(int argc, char** argv) {
  if (argc < 4 || (std::strcmp(argv[1], "move") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: %s move|copy SOURCE DESTINATION [--serial]\n", argv[0]);
    return 2;
  }
  msifter::testing::EveryFileWindow window;
  window.snapshot.serverDir = argv[2];
  window.snapshot.receiveDir = argv[3];
  window.snapshot.subFolder = true;
  window.snapshot.copyFiles = std::strcmp(argv[1], "copy") == 0;
  window.snapshot.renameMethod = argc > 4 && std::strcmp(argv[4], "--serial") == 0
                                     ? RenameMethod::SerialNumber
                                     : RenameMethod::DateTime;
  executeCommand(window);
  std::printf("%s\n", window.summary.c_str());
  return 0;
}
