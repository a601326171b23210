// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// gFindFile with its eighteen parameters, in the order the procedure has
// always taken them: engine::findFiles with each one handed to its place.
// It cannot leave the run's destination out of the search nor say what could
// not be searched; runs call findFiles.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/finder.h"

namespace msifter::legacy {

bool gFindFile(std::string folder, const std::string& patternList, bool subFolders,
               std::vector<std::string>* resultList, engine::ProgressLabel* progressLabel,
               bool fullPath, std::string& resultText, bool useMinSize, int64_t minSizeBytes,
               bool useMaxSize, int64_t maxSizeBytes, bool useCountLimit, int32_t countLimit,
               int32_t& fileCount, int64_t& byteTotal, bool listFolders = false,
               bool tagged = false, int32_t depth = 0);

}  // namespace msifter::legacy
