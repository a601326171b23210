// SPDX-License-Identifier: GPL-3.0-or-later
#include "value_convert.h"

#include "common/text.h"

namespace msifter::settings::detail {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an unsigned decimal of 1 to `maxDigits` digits at `pos`.
bool readNumber(std::string_view text, std::size_t& pos, std::size_t maxDigits, int& out) {
  const std::size_t start = pos;
  out = 0;
  while (pos < text.size() && isDigit(text[pos]) && pos - start < maxDigits) {
    out = out * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start && (pos >= text.size() || !isDigit(text[pos]));
}

bool expect(std::string_view text, std::size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

int daysInMonth(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::string valueText(const RegValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  if (const auto* n = std::get_if<int32_t>(&value)) return std::to_string(*n);
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  return {};
}

int32_t valueLong(const RegValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? -1 : 0;
  if (const auto* n = std::get_if<int32_t>(&value)) return *n;
  if (const auto* s = std::get_if<std::string>(&value)) return common::wholeNumberText(*s);
  return 0;
}

bool isDateText(std::string_view text) {
  std::size_t pos = 0;
  int year = 0, month = 0, day = 0;
  if (!readNumber(text, pos, 4, year) || !expect(text, pos, '/') ||
      !readNumber(text, pos, 2, month) || !expect(text, pos, '/') ||
      !readNumber(text, pos, 2, day)) {
    return false;
  }
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) {
    return false;
  }
  if (pos == text.size()) return true;
  int hour = 0, minute = 0, second = 0;
  if (!expect(text, pos, ' ') || !readNumber(text, pos, 2, hour) || !expect(text, pos, ':') ||
      !readNumber(text, pos, 2, minute)) {
    return false;
  }
  if (pos < text.size() && (!expect(text, pos, ':') || !readNumber(text, pos, 2, second))) {
    return false;
  }
  return pos == text.size() && hour < 24 && minute < 60 && second < 60;
}

}  // namespace msifter::settings::detail
