// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the finder once, as the transfer run calls it, and prints the result
// list, one entry a line. The totals go to standard error.
//
//   finder_cli FOLDER PATTERNS [--top] [--min BYTES] [--max BYTES] [--count N]
//              [--destination FOLDER] [--quiet]
//
// With --destination, that folder is left out as a run leaves out its own.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/finder.h"
#include "engine/run.h"

namespace {

class SilentLabel : public msifter::engine::ProgressLabel {
 public:
  void setCaption(const std::string& caption) override { last = caption; }
  std::string last;
};

[[noreturn]] void usage() {
  std::fputs(
      "usage: finder_cli FOLDER PATTERNS [--top] [--min BYTES] [--max BYTES] [--count N] "
      "[--destination FOLDER] [--quiet]\n",
      stderr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) usage();
  msifter::engine::TransferOptions options;
  options.serverDir = argv[1];
  options.targetList = argv[2];
  options.subFolder = true;
  bool quiet = false;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--top") {
      options.subFolder = false;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--min" && hasValue) {
      options.bounds.useMinSize = true,
      options.bounds.minSizeBytes = std::strtoll(argv[++i], nullptr, 10);
    } else if (arg == "--max" && hasValue) {
      options.bounds.useMaxSize = true,
      options.bounds.maxSizeBytes = std::strtoll(argv[++i], nullptr, 10);
    } else if (arg == "--destination" && hasValue) {
      options.receiveDir = argv[++i];
    } else if (arg == "--count" && hasValue) {
      options.bounds.useCountLimit = true;
      options.bounds.countLimit = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 10));
    } else {
      usage();
    }
  }

  std::vector<std::string> result;
  SilentLabel label;
  msifter::engine::FindTotals totals;
  const bool ok = msifter::engine::findFiles(transferSearch(options, &result, &label), totals);
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
