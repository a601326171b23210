#pragma once
// Padding, replacing and measuring texts.
#include <cstdint>
#include <string>

namespace msifter::engine {

// The side gGetSpaceString1 pads on; any other value leaves the text alone.
enum class PadSide : int32_t { Left = 1, Right = 2 };

// Replaces from left to right, at most maxCount times counted in doneCount.
// On return doneCount is one more than the replacements made when the text
// ran out of occurrences, and equals maxCount when the limit stopped it.
bool gProcTransString(std::string& text, const std::string& findText,
                      const std::string& replaceText, int32_t maxCount, int32_t& doneCount);
// The text padded with a one-byte padChar to `width` bytes; a wider text
// comes back whole.
std::string gGetSpaceString1(const std::string& text, int32_t width, const std::string& padChar,
                             PadSide side);
int32_t gGetByteLength(const std::string& text);
bool gProcNothing();

}  // namespace msifter::engine
