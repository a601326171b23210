#pragma once
// The file finder: searches a folder (and on request its subtree) depth
// first, pre-order, for files matching a pattern list.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace msifter::engine {

// The label that shows the folder being searched.
class ProgressLabel {
 public:
  virtual ~ProgressLabel() = default;
  virtual void setCaption(const std::string& caption) = 0;
};

// Paths are the file system's raw bytes; entries reach resultList unchanged.
bool gFindFile(std::string folder, const std::string& patternList, bool subFolders,
               std::vector<std::string>* resultList, ProgressLabel* progressLabel, bool fullPath,
               std::string& resultText, bool useMinSize, int64_t minSizeBytes, bool useMaxSize,
               int64_t maxSizeBytes, bool useCountLimit, int32_t countLimit, int32_t& fileCount,
               int64_t& byteTotal, bool listFolders = false, bool tagged = false,
               int32_t depth = 0);

// Wildcard match of an already upper-cased name against an upper-cased
// pattern: * ? # [list] [!list] with ranges. Throws RuntimeFailure (invalid
// argument) on an unclosed "[" or a range that runs downwards ("[Z-A]").
bool matchesPattern(std::string_view name, std::string_view pattern);

}  // namespace msifter::engine
