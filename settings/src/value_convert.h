#pragma once
// Conversions between the values the registry hands over and the texts and
// numbers of the window, with the program's rules for each.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/registry.h"

namespace msifter::settings::detail {

// Without leading and trailing half-width spaces.
std::string trimSpaces(std::string_view text);

// Text of a value: "" when unset, "True"/"False", decimal, or the text.
std::string valueText(const RegValue& value);
// 32-bit integer of a value: True is -1; a text goes through textToLong.
int32_t valueLong(const RegValue& value);

// A number written as text, rounded to the nearest whole number (a half to
// the even neighbour). Fails with TypeMismatch when the text is not a number
// and with Overflow when it does not fit in 32 bits.
int32_t textToLong(std::string_view text);

// "YYYY/MM/DD" with an optional " HH:NN" or " HH:NN:SS", a real calendar day.
bool isDateText(std::string_view text);

}  // namespace msifter::settings::detail
