// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text.h"

#include <cfenv>
#include <charconv>
#include <climits>
#include <cmath>

#include "common/failure.h"

namespace msifter::common {

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::string trimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::vector<std::string> splitAt(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(delimiter, start)) != std::string_view::npos;
       start = at + delimiter.size()) {
    pieces.emplace_back(text.substr(start, at - start));
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

double roundedNumberText(std::string_view text) {
  const std::string trimmed = trimSpaces(text);
  std::string_view rest = trimmed;
  if (rest.empty()) fail(err::TypeMismatch);
  bool negative = false;
  if (rest.front() == '+' || rest.front() == '-') {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  // from_chars would also take "inf", "nan" and hexadecimal floats.
  if (rest.empty() || !(isDigit(rest.front()) || rest.front() == '.')) fail(err::TypeMismatch);
  for (const char c : rest) {
    if (!isDigit(c) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-')
      fail(err::TypeMismatch);
  }
  double number = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
  if (end != rest.data() + rest.size()) fail(err::TypeMismatch);
  if (ec == std::errc::result_out_of_range || !std::isfinite(number)) fail(err::Overflow);
  if (negative) number = -number;
  const int previous = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(number);
  std::fesetround(previous);
  return rounded;
}

int32_t wholeNumberText(std::string_view text) {
  const double rounded = roundedNumberText(text);
  if (rounded < INT32_MIN || rounded > INT32_MAX) fail(err::Overflow);
  return static_cast<int32_t>(rounded);
}

}  // namespace msifter::common
