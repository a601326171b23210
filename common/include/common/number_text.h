#pragma once
// Numbers typed into the window's text boxes, read the one way the whole
// program reads them.
#include <string_view>

namespace msifter::common {

// The text as a number, without leading and trailing spaces, rounded to the
// nearest whole number (a half to the even neighbour: 2.5 gives 2). Fails
// with TypeMismatch when the text is not a number and with Overflow when it
// lies beyond any number. Range checks are the caller's.
double roundedNumberText(std::string_view text);

}  // namespace msifter::common
