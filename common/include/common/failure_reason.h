// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a file could not be transferred or taken back, as the window and the
// command line both say it.
#include <cstdint>
#include <string>

namespace msifter::common {

// The system's reason (errno) where it gave one, else the failure number's
// standard description.
std::string failureReason(int32_t number, int error);

}  // namespace msifter::common
