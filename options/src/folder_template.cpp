// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/folder_template.h"

#include <cstdio>

namespace msifter::options {

namespace {

bool knownField(char c) {
  return c == 'Y' || c == 'm' || c == 'd' || c == 'H' || c == 'M' || c == 'S' || c == '%';
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// A year is written with at least four digits, as the names' stamps write it.
std::string field(char c, const std::tm& when) {
  char text[16];
  switch (c) {
    case 'Y': std::snprintf(text, sizeof text, "%04d", when.tm_year + 1900); return text;
    case 'm': return twoDigits(when.tm_mon + 1);
    case 'd': return twoDigits(when.tm_mday);
    case 'H': return twoDigits(when.tm_hour);
    case 'M': return twoDigits(when.tm_min);
    case 'S': return twoDigits(when.tm_sec);
    default: return "%";
  }
}

}  // namespace

std::optional<FolderTemplateProblem> folderTemplateProblem(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (text.front() == '/') return FolderTemplateProblem{FolderTemplateFault::Climbs, "/"};
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 == text.size() || !knownField(text[i + 1]))
      return FolderTemplateProblem{FolderTemplateFault::UnknownField,
                                   std::string(text.substr(i, 2))};
    ++i;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = text.find('/', start);
    const std::string_view level = text.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (level.empty()) return FolderTemplateProblem{FolderTemplateFault::EmptyLevel, ""};
    if (level == "." || level == "..")
      return FolderTemplateProblem{FolderTemplateFault::Climbs, std::string(level)};
    if (slash == std::string_view::npos) return std::nullopt;
    start = slash + 1;
  }
}

bool folderTemplateValid(std::string_view text) {
  return !text.empty() && !folderTemplateProblem(text);
}

std::string expandFolderTemplate(std::string_view text, const std::tm& when) {
  std::string folder;
  folder.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      folder += field(text[++i], when);
    } else {
      folder += text[i];
    }
  }
  return folder;
}

}  // namespace msifter::options
