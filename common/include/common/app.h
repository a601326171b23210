// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Facts about the program itself: its title and where it lives. Its version
// is in common/version.h, written by the build.
#include <string>

namespace msifter::common {

inline constexpr const char* kAppTitle = "m_sifter";

// The folder that holds the executable, without a trailing separator.
// sys/msg and index.html live here.
std::string applicationFolder();

}  // namespace msifter::common
