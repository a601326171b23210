// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a memory card and a photo library that already holds every file of
// the card, to measure a re-import:
//   identical_make_library WORK CARD_FILES LIBRARY_FILES MIN_BYTES MAX_BYTES
// WORK/card/DCIM/100CANON: CARD_FILES photos of random bytes, MIN_BYTES to
// MAX_BYTES each. WORK/library: LIBRARY_FILES files in folders by day
// (YYYY/MM/DD, 30 a day): the card's files under new names, and other photos
// of the same range of sizes. Those others are sparse (a distinct first 4 KB,
// then a hole), so that a library of 100,000 photos fits on the disk while
// sharing sizes with the card as a real one would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fixed pseudo-random sequence, so every tree is the same.
uint64_t nextRandom(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

std::string dayFolder(int file) {
  const int day = file / 30;
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", 2000 + day / 336, day / 28 % 12 + 1,
                day % 28 + 1);
  return text;
}

void writeFile(const fs::path& path, const std::vector<uint64_t>& words, std::size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fputs("usage: identical_make_library WORK CARD_FILES LIBRARY_FILES MIN_BYTES MAX_BYTES\n",
               stderr);
    return 2;
  }
  const fs::path work = argv[1];
  const int cardFiles = std::atoi(argv[2]);
  const int libraryFiles = std::atoi(argv[3]);
  const uint64_t low = std::strtoull(argv[4], nullptr, 10);
  const uint64_t high = std::strtoull(argv[5], nullptr, 10);
  if (cardFiles <= 0 || libraryFiles < cardFiles || low < 4096 || high < low) return 2;
  const fs::path card = work / "card" / "DCIM" / "100CANON";
  fs::create_directories(card);
  uint64_t state = 0x9E3779B97F4A7C15u;
  std::vector<uint64_t> words((high + 7) / 8);
  // The card's files go to the last days of the library, as a second import would put them.
  const int firstCopy = libraryFiles - cardFiles;
  for (int i = 0; i < libraryFiles; ++i) {
    const std::size_t size = low + nextRandom(state) % (high - low + 1);
    const fs::path folder = work / "library" / dayFolder(i);
    if (i % 30 == 0) fs::create_directories(folder);
    char name[64];
    if (i >= firstCopy) {
      for (auto& w : words) w = nextRandom(state);
      std::snprintf(name, sizeof name, "IMG_%04d.JPG", i - firstCopy);
      writeFile(card / name, words, size);
      std::snprintf(name, sizeof name, "20240501090637_%05d_IMG_%04d.JPG", i % 30, i - firstCopy);
      writeFile(folder / name, words, size);
      continue;
    }
    for (std::size_t w = 0; w < 512; ++w) words[w] = nextRandom(state);
    std::snprintf(name, sizeof name, "20190101120000_%05d_DSC_%06d.JPG", i % 30, i);
    writeFile(folder / name, words, 4096);
    fs::resize_file(folder / name, size);
  }
  return 0;
}
