// Runs the finder once, as the transfer run calls it, and prints the result
// list, one entry a line. The totals go to standard error.
//
//   finder_cli FOLDER PATTERNS [--top] [--min BYTES] [--max BYTES] [--count N] [--quiet]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/finder.h"

namespace {

class SilentLabel : public msifter::engine::ProgressLabel {
 public:
  void setCaption(const std::string& caption) override { last = caption; }
  std::string last;
};

[[noreturn]] void usage() {
  std::fputs(
      "usage: finder_cli FOLDER PATTERNS [--top] [--min BYTES] [--max BYTES] [--count N] "
      "[--quiet]\n",
      stderr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) usage();
  const std::string folder = argv[1];
  const std::string patterns = argv[2];
  bool subFolders = true, useMin = false, useMax = false, useCount = false, quiet = false;
  int64_t minSize = 0, maxSize = 0;
  int32_t countLimit = 0;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--top") {
      subFolders = false;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--min" && hasValue) {
      useMin = true, minSize = std::strtoll(argv[++i], nullptr, 10);
    } else if (arg == "--max" && hasValue) {
      useMax = true, maxSize = std::strtoll(argv[++i], nullptr, 10);
    } else if (arg == "--count" && hasValue) {
      useCount = true, countLimit = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 10));
    } else {
      usage();
    }
  }

  std::vector<std::string> result;
  SilentLabel label;
  msifter::engine::FindTotals totals;
  const bool ok = msifter::engine::findFiles({.folder = folder,
                                              .patternList = patterns,
                                              .subFolders = subFolders,
                                              .resultList = &result,
                                              .progressLabel = &label,
                                              .useMinSize = useMin,
                                              .minSizeBytes = minSize,
                                              .useMaxSize = useMax,
                                              .maxSizeBytes = maxSize,
                                              .useCountLimit = useCount,
                                              .countLimit = countLimit},
                                             totals);
  if (!quiet) {
    for (const auto& entry : result) {
      std::fwrite(entry.data(), 1, entry.size(), stdout);
      std::fputc('\n', stdout);
    }
  }
  std::fprintf(stderr, "%d files, %lld bytes\n", totals.fileCount,
               static_cast<long long>(totals.byteTotal));
  // The process ends here: freeing a million entries one by one would only
  // time the allocator, which find(1) never pays.
  std::fflush(stdout);
  std::_Exit(ok ? 0 : 1);
}
