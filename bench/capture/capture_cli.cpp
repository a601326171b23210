// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the capture time of every file in a folder, as `run --stamp=capture`
// does for each file it names, and prints how many came from each source.
//
//   capture_cli FOLDER
#include <cstdio>
#include <filesystem>
#include <map>

#include "cli/capture_time.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: capture_cli FOLDER\n", stderr);
    return 2;
  }
  std::map<int, int> sources;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    const auto taken = msifter::cli::readCaptureTime(entry.path().string());
    ++sources[taken ? static_cast<int>(taken->source) : -1];
  }
  for (const auto& [source, count] : sources) std::printf("source %d: %d files\n", source, count);
  return 0;
}
