// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a run takes: the target list, ";"-separated wildcard patterns
// and exact extensions, built from the run's choice of file types.
#include <cstdint>
#include <string>
#include <vector>

#include "options/run_options.h"

namespace msifter::engine {

// An item that starts with this names an exact extension ("/CR2": names
// whose text after the last dot is CR2), not a pattern. No file name holds
// one, so no pattern ever had it.
inline constexpr char kExactExtension = '/';

bool gGetSettingData_GraphicsExtension(const options::RunOptions& options, std::string& list);
bool gGetSettingData_TargetExtension(const options::RunOptions& options, std::string& list);

// Splits `text` at `delimiter`; see the comments in the implementation for
// how empty pieces and a trailing delimiter are kept.
bool gProcCharSplit(std::string text, std::string delimiter, std::vector<std::string>& items,
                    int32_t& lastIndex);

}  // namespace msifter::engine
