#pragma once
#include <string>
#include <vector>

#include "engine/run.h"

namespace msifter::engine {

// Moves or copies every listed file into options.receiveDir under its new
// name. True when every entry was transferred.
bool mMoveFile(const std::vector<std::string>& sources, const TransferOptions& options);

}  // namespace msifter::engine
