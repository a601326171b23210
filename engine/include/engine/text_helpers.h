// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Padding and measuring texts.
#include <cstdint>
#include <string>

namespace msifter::engine {

// The side gGetSpaceString1 pads on; any other value leaves the text alone.
enum class PadSide : int32_t { Left = 1, Right = 2 };

// The text padded with a one-byte padChar to `width` bytes; a wider text
// comes back whole.
std::string gGetSpaceString1(const std::string& text, int32_t width, const std::string& padChar,
                             PadSide side);
int32_t gGetByteLength(const std::string& text);
bool gProcNothing();

}  // namespace msifter::engine
