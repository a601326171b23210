// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a file of a run was or was not taken back, in the words the window
// and the command line both show.
#include <string>
#include <string_view>

#include "engine/undo.h"

namespace msifter::engine {

std::string_view undoReason(UndoOutcome outcome);

// The outcome's reason, followed by the system's for a refusal by the system.
std::string undoItemReason(const UndoItem& item);

}  // namespace msifter::engine
