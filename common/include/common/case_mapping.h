// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Upper and lower case of names as Windows makes them: each code point of
// valid UTF-8 becomes its simple (one-to-one) Unicode case partner, so a
// full-width letter stays full-width and nothing is folded, normalised or
// expanded (ß stays ß). Bytes that are not valid UTF-8 stay as they are.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace msifter::common {

// Decodes the UTF-8 sequence that starts at s[i] and moves i past it.
// Returns the code point, or -1 when s[i] does not start a valid sequence
// (overlong, surrogate, truncated, stray continuation byte); i then moves by
// that one byte.
int32_t decodeUtf8(std::string_view s, std::size_t& i);

// Append the mapped text to `out`, so one buffer can serve many names.
void appendUpperCase(std::string_view text, std::string& out);
void appendLowerCase(std::string_view text, std::string& out);

std::string upperCase(std::string_view text);
std::string lowerCase(std::string_view text);

}  // namespace msifter::common
