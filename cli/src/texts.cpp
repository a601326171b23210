// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/texts.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace msifter::cli {

std::string displayPath(std::string_view path) {
  std::string shown;
  appendDisplayPath(shown, path);
  return shown;
}

namespace {

// Whether any of the eight bytes of `w` is a control character (below
// 0x20, or 0x7F): eight at a time, as paths nearly never hold one.
bool anyControl(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHigh = kOnes * 0x80;
  const uint64_t del = w ^ (kOnes * 0x7F);
  return (((w - kOnes * 0x20) & ~w) | ((del - kOnes) & ~del)) & kHigh;
}

}  // namespace

void appendDisplayPath(std::string& out, std::string_view path) {
  std::size_t i = out.size();
  out.append(path);
  for (; i + 8 <= out.size(); i += 8) {
    uint64_t w = 0;
    std::memcpy(&w, out.data() + i, 8);
    if (anyControl(w)) break;
  }
  for (; i < out.size(); ++i) {
    if (static_cast<unsigned char>(out[i]) < 0x20 || out[i] == 0x7f) out[i] = '?';
  }
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
