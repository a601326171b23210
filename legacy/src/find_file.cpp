// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/find_file.h"

#include <utility>

namespace msifter::legacy {

bool gFindFile(std::string folder, const std::string& patternList, bool subFolders,
               std::vector<std::string>* resultList, engine::ProgressLabel* progressLabel,
               bool fullPath, std::string& resultText, bool useMinSize, int64_t minSizeBytes,
               bool useMaxSize, int64_t maxSizeBytes, bool useCountLimit, int32_t countLimit,
               int32_t& fileCount, int64_t& byteTotal, bool listFolders, bool tagged,
               int32_t depth) {
  const engine::FindRequest request{.folder = std::move(folder),
                                    .patternList = patternList,
                                    .subFolders = subFolders,
                                    .resultList = resultList,
                                    .resultText = &resultText,
                                    .progressLabel = progressLabel,
                                    .fullPath = fullPath,
                                    .bounds = {.useMinSize = useMinSize,
                                               .minSizeBytes = minSizeBytes,
                                               .useMaxSize = useMaxSize,
                                               .maxSizeBytes = maxSizeBytes,
                                               .useCountLimit = useCountLimit,
                                               .countLimit = countLimit},
                                    .listFolders = listFolders,
                                    .tagged = tagged,
                                    .depth = depth};
  engine::FindTotals totals{fileCount, byteTotal};
  const bool found = engine::findFiles(request, totals);
  fileCount = totals.fileCount;
  byteTotal = totals.byteTotal;
  return found;
}

}  // namespace msifter::legacy
