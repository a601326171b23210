// SPDX-License-Identifier: GPL-3.0-or-later
// What looking for identical files costs a run, in three cases:
//   miss:     100,000 look-ups of sizes that none of 100,000 destination
//             files has (the common case: each must stay a hash-map look-up);
//   one size: 2,000 sources against 2,000 destination files, all 64 KiB and
//             all different (each destination file read once);
//   again:    2,000 sources whose copies are all in the destination (a second
//             run over the same card).
//
//   identical_bench WORK_FOLDER
//   identical_bench reimport CARD LIBRARY   (the two parts of a re-import)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/identical_files.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `count` files of `size` bytes in `folder`, each different in its first bytes.
void makeFiles(const fs::path& folder, const std::string& prefix, int count, std::size_t size) {
  fs::create_directories(folder);
  std::string bytes(size, 'x');
  for (int i = 0; i < count; ++i) {
    const std::string id = prefix + std::to_string(i);
    bytes.replace(0, id.size(), id);
    std::ofstream(folder / (id + ".jpg"), std::ios::binary) << bytes;
  }
}

void report(const char* what, int lookups, int found, double seconds) {
  std::printf("%-9s %7d look-ups %6d found  %8.4f s  %9.3f us each\n", what, lookups, found,
              seconds, seconds * 1e6 / lookups);
}

}  // namespace

// A re-import's two parts apart: the look at the library (its index as the
// user's cache holds it) and the look-ups of the card's files.
int reimport(const fs::path& card, const fs::path& library) {
  auto start = Clock::now();
  msifter::engine::IdenticalFiles index;
  if (index.open(library.string())) return 1;
  std::printf("open      library                 %8.3f s\n", secondsSince(start));
  int lookups = 0;
  int found = 0;
  start = Clock::now();
  for (const auto& entry : fs::recursive_directory_iterator(card)) {
    if (!entry.is_regular_file()) continue;
    ++lookups;
    found += !index.findIdentical(entry.path().string(), static_cast<int64_t>(entry.file_size()))
                  .empty();
  }
  report("card", lookups, found, secondsSince(start));
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "reimport") return reimport(argv[2], argv[3]);
  if (argc != 2) {
    std::fputs("usage: identical_bench WORK_FOLDER | reimport CARD LIBRARY\n", stderr);
    return 2;
  }
  const fs::path work = fs::path(argv[1]) / "msifter-bench-identical";
  fs::remove_all(work);
  constexpr int kSameSize = 2000;
  constexpr std::size_t kBytes = 64 * 1024;
  makeFiles(work / "dst", "d", kSameSize, kBytes);
  makeFiles(work / "src", "s", kSameSize, kBytes);
  fs::copy(work / "src", work / "again");

  // Each case as a run without an index kept from before, so that every
  // figure is the cost of looking for the first time.
  msifter::engine::IdenticalFiles::Options options;
  options.keepIndex = false;
  msifter::engine::IdenticalFiles index(options);
  auto start = Clock::now();
  if (index.open((work / "dst").string())) return 1;
  std::printf("open      %7d files                   %8.3f s\n", kSameSize, secondsSince(start));

  // A destination of 100,000 files of as many sizes, none of them a source's.
  constexpr int kMisses = 100000;
  for (int i = 0; i < kMisses; ++i) index.add("d" + std::to_string(i), 2 * i);
  int found = 0;
  start = Clock::now();
  for (int i = 0; i < kMisses; ++i)
    found += !index.findIdentical("/no/such/file", 2 * i + 1).empty();
  report("miss", kMisses, found, secondsSince(start));

  // Every source against a destination, from a fresh index as a run opens it.
  const auto lookUpSources = [&](const char* what, const char* destination) {
    if (index.open((work / destination).string())) return false;
    int hits = 0;
    const auto begin = Clock::now();
    for (int i = 0; i < kSameSize; ++i) {
      const fs::path source = work / "src" / ("s" + std::to_string(i) + ".jpg");
      hits += !index.findIdentical(source.string(), kBytes).empty();
    }
    report(what, kSameSize, hits, secondsSince(begin));
    return true;
  };
  if (!lookUpSources("one size", "dst") || !lookUpSources("again", "again")) return 1;
  fs::remove_all(work);
  return 0;
}
