// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/run_options.h"

#include <algorithm>
#include <cstdio>

#include "common/case_mapping.h"
#include "common/text.h"

namespace msifter::options {

std::optional<ImageType> imageTypeNamed(std::string_view name) {
  const std::string lower = common::lowerCase(name);
  for (const ImageTypeRow& row : kImageTypes) {
    for (const std::string& known : common::splitAt(row.names, ",")) {
      if (lower == known) return row.type;
    }
  }
  return std::nullopt;
}

namespace {

// Digits only, `least` to `most` of them; -1 otherwise.
int32_t digitsValue(std::string_view text, std::size_t least, std::size_t most) {
  if (text.size() < least || text.size() > most) return -1;
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<TimeShift> parseTimeShift(std::string_view text) {
  int32_t sign = 1;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  const std::vector<std::string> parts = common::splitAt(text, ":");
  if (parts.size() != 2 && parts.size() != 3) return std::nullopt;
  const int32_t hours = digitsValue(parts[0], 1, 5);
  const int32_t minutes = digitsValue(parts[1], 2, 2);
  const int32_t seconds = parts.size() == 3 ? digitsValue(parts[2], 2, 2) : 0;
  if (hours < 0 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return std::nullopt;
  return TimeShift{sign * (hours * 3600 + minutes * 60 + seconds)};
}

std::string timeShiftText(TimeShift shift) {
  const int64_t magnitude = shift.seconds < 0 ? -int64_t{shift.seconds} : shift.seconds;
  char text[32];
  std::snprintf(text, sizeof text, "%c%lld:%02lld:%02lld", shift.seconds < 0 ? '-' : '+',
                static_cast<long long>(magnitude / 3600),
                static_cast<long long>(magnitude / 60 % 60),
                static_cast<long long>(magnitude % 60));
  return text;
}

std::vector<std::string> extensionItems(std::string_view text) {
  std::string separated(text);
  std::replace(separated.begin(), separated.end(), ',', ';');
  std::vector<std::string> items;
  for (std::string& item : common::splitAt(separated, ";")) {
    if (!item.empty() && item.front() == '.') item.erase(0, 1);
    if (!item.empty()) items.push_back(std::move(item));
  }
  return items;
}

}  // namespace msifter::options
