// SPDX-License-Identifier: GPL-3.0-or-later
// seed_settings SOURCE DESTINATION [copy]
//
// Saves the main window's options as a run of the window would have saved
// them: both folders, every file, subfolders included, serial-number names;
// files copied with "copy". The window then starts with them, ready for 実 行.
#include <cstdio>
#include <string_view>

#include "settings/settings_store.h"

int main(int argc, char** argv) {
  using namespace msifter::settings;
  if (argc != 3 && !(argc == 4 && std::string_view(argv[3]) == "copy")) {
    std::fprintf(stderr, "usage: seed_settings SOURCE DESTINATION [copy]\n");
    return 2;
  }
  msifter::options::RunOptions options;
  options.serverDir = argv[1];
  options.receiveDir = argv[2];
  options.allFile = true;
  options.subFolder = true;
  options.copyFiles = argc == 4;
  options.renameMethod = msifter::options::RenameMethod::SerialNumber;
  return gSetSettingData(options, "2024/01/01 00:00:00") ? 0 : 1;
}
