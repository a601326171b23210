// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions between the values the registry hands over and the texts and
// numbers of the window, with the program's rules for each.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/registry.h"

namespace msifter::settings::detail {

// Text of a value: "" when unset, "True"/"False", decimal, or the text.
std::string valueText(const RegValue& value);
// 32-bit integer of a value: True is -1; a text is read as the window's
// number boxes are (common::wholeNumberText).
int32_t valueLong(const RegValue& value);

// "YYYY/MM/DD" with an optional " HH:NN" or " HH:NN:SS", a real calendar day.
bool isDateText(std::string_view text);

}  // namespace msifter::settings::detail
