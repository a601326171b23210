// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts as the whole program reads them: typed into the window's boxes, or
// kept as lists.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace msifter::common {

// Without leading and trailing half-width spaces.
std::string trimSpaces(std::string_view text);

// The pieces between the delimiters, empty ones included: "a;;b;" gives
// "a", "", "b", "". No delimiter gives the whole text as one piece.
std::vector<std::string> splitAt(std::string_view text, std::string_view delimiter);

// The text as a number, without leading and trailing spaces, rounded to the
// nearest whole number (a half to the even neighbour: 2.5 gives 2). Fails
// with TypeMismatch when the text is not a number and with Overflow when it
// lies beyond any number. Range checks are the caller's.
double roundedNumberText(std::string_view text);

// roundedNumberText as a signed 32-bit value; Overflow beyond that range.
int32_t wholeNumberText(std::string_view text);

}  // namespace msifter::common
