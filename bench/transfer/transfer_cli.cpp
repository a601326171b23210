// SPDX-License-Identifier: GPL-3.0-or-later
// One transfer run from the command line, the way the window starts it:
//   transfer_cli move|copy SOURCE DESTINATION [--serial]
// Every file of SOURCE and its subfolders goes to DESTINATION under its new
// name; the summary line goes to standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/time_helpers.h"
#include "every_file_run.h"

using namespace msifter::engine;

int main(int argc, char** argv) {
  if (argc < 4 || (std::strcmp(argv[1], "move") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: %s move|copy SOURCE DESTINATION [--serial]\n", argv[0]);
    return 2;
  }
  msifter::options::RunOptions options = msifter::testing::everyFile(argv[2], argv[3]);
  options.copyFiles = std::strcmp(argv[1], "copy") == 0;
  options.renameMethod = argc > 4 && std::strcmp(argv[4], "--serial") == 0
                             ? RenameMethod::SerialNumber
                             : RenameMethod::DateTime;
  msifter::testing::QuietRun quiet;
  RunResult result;
  const int64_t start = gGetTickCount();
  if (!gProcess1(options, quiet, result)) return 1;
  const int64_t seconds = (gGetTickCount() - start) / 1000;
  std::printf("%s\n", formatSummary(result.runFileCount, result.runByteTotal, seconds).c_str());
  return 0;
}
