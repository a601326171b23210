// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a tree to measure transfers on:
//   transfer_make_tree ROOT FOLDERS FILES_PER_FOLDER BYTES|mixed|spread [distinct]
// File names are unique across the whole tree, so that a flat destination
// can take every file under its own name too (as mv -t needs). "mixed" gives
// sizes like a photo folder's, the same on every run: 80 % of 1 to 32 KB,
// 18 % of 32 to 256 KB, 2 % of 0.5 to 2 MB (about 64 KB on average).
// "spread": no two files of one size (200 bytes plus a different count for
// each file, in a fixed shuffled order), as photos of several megabytes
// seldom share a size to the byte. "distinct": every file's bytes differ
// (its number in its first bytes), for the identical-file checks.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A fixed pseudo-random sequence, so every tree is the same.
uint64_t nextRandom(uint64_t& state) {
  state = state * 6364136223846793005u + 1442695040888963407u;
  return state >> 33;
}

size_t mixedSize(uint64_t& state) {
  const uint64_t kind = nextRandom(state) % 100;
  const auto between = [&](uint64_t low, uint64_t high) {
    return static_cast<size_t>(low + nextRandom(state) % (high - low));
  };
  if (kind < 80) return between(1u << 10, 32u << 10);
  if (kind < 98) return between(32u << 10, 256u << 10);
  return between(512u << 10, 2u << 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && (argc != 6 || std::strcmp(argv[5], "distinct") != 0)) {
    std::fprintf(stderr, "usage: %s ROOT FOLDERS FILES_PER_FOLDER BYTES|mixed|spread [distinct]\n",
                 argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  const long folders = std::atol(argv[2]);
  const long files = std::atol(argv[3]);
  const long total = folders * files;
  const bool mixed = std::strcmp(argv[4], "mixed") == 0;
  const bool spread = std::strcmp(argv[4], "spread") == 0;
  const bool distinct = argc == 6;
  const size_t fixedSize = mixed || spread ? 200 : static_cast<size_t>(std::atol(argv[4]));
  std::vector<char> content(mixed ? 2u << 20 : fixedSize + (spread ? total : 0), 'm');
  uint64_t state = 42;
  ::mkdir(root.c_str(), 0755);
  for (long d = 0; d < folders; ++d) {
    const std::string folder = root + "/d" + std::to_string(d);
    if (::mkdir(folder.c_str(), 0755) != 0) {
      std::perror(folder.c_str());
      return 1;
    }
    for (long f = 0; f < files; ++f) {
      const std::string path =
          folder + "/img" + std::to_string(d) + "_" + std::to_string(f) + ".jpg";
      const long index = d * files + f;
      // 7919 is prime and no factor of the totals used, so index * 7919 %
      // total visits every extra length once.
      const size_t size = mixed    ? mixedSize(state)
                          : spread ? fixedSize + static_cast<size_t>(index * 7919 % total)
                                   : fixedSize;
      if (distinct) std::memcpy(content.data(), &index, std::min(sizeof index, content.size()));
      FILE* out = std::fopen(path.c_str(), "wb");
      if (!out || std::fwrite(content.data(), 1, size, out) != size || std::fclose(out) != 0) {
        std::perror(path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
