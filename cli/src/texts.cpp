// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/texts.h"

#include <cstdio>

namespace msifter::cli {

std::string displayPath(std::string_view path) {
  std::string shown(path);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return shown;
}

std::string folderRefusedText(const std::string& folder) {
  return "移動先の中のフォルダ「" + displayPath(folder) +
         "」はリンクかフォルダ以外のものなので、その中には入れません";
}

void printLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace msifter::cli
