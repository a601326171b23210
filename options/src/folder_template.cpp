#include "options/folder_template.h"

#include <cstdio>

#include "common/text.h"

namespace msifter::options {

namespace {

constexpr std::string_view kFields = "YmdHMS%";

// A level as it is written: its text, the fields left unexpanded.
bool levelValid(std::string_view level) {
  if (level.empty() || level == "." || level == "..") return false;
  for (std::size_t i = 0; i < level.size(); ++i) {
    if (level[i] != '%') continue;
    if (i + 1 == level.size() || kFields.find(level[i + 1]) == std::string_view::npos) return false;
    ++i;
  }
  return true;
}

std::string fieldText(char field, const std::tm& stamp) {
  int value = 0;
  switch (field) {
    case 'Y': value = stamp.tm_year + 1900; break;
    case 'm': value = stamp.tm_mon + 1; break;
    case 'd': value = stamp.tm_mday; break;
    case 'H': value = stamp.tm_hour; break;
    case 'M': value = stamp.tm_min; break;
    case 'S': value = stamp.tm_sec; break;
    default: return std::string(1, field);
  }
  char text[16];
  std::snprintf(text, sizeof text, field == 'Y' ? "%04d" : "%02d", value);
  return text;
}

}  // namespace

bool folderTemplateValid(std::string_view text) {
  if (text.empty()) return false;
  for (const std::string& level : common::splitAt(text, "/")) {
    if (!levelValid(level)) return false;
  }
  return true;
}

std::string folderPathFor(std::string_view text, const std::tm& stamp) {
  std::string path;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      path += fieldText(text[++i], stamp);
    } else {
      path += text[i];
    }
  }
  return path;
}

}  // namespace msifter::options
