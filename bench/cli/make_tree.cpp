// Writes a tree of files that all differ in their bytes, for --skip-identical:
//   cli_make_tree ROOT FOLDERS FILES_PER_FOLDER same|spread
// "same": every file 200 bytes (every file shares its size with all others,
// so each must be read); "spread": no two files of one size (200 bytes plus
// a different count for each file, in a fixed shuffled order), as photos of
// several megabytes seldom share a size to the byte.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[4], "same") != 0 && std::strcmp(argv[4], "spread") != 0)) {
    std::fprintf(stderr, "usage: %s ROOT FOLDERS FILES_PER_FOLDER same|spread\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  const long folders = std::atol(argv[2]);
  const long files = std::atol(argv[3]);
  const bool spread = std::strcmp(argv[4], "spread") == 0;
  const long total = folders * files;
  // 7919 is prime and no factor of the totals used, so i * 7919 % total
  // visits every extra length once.
  std::vector<char> content(200 + (spread ? total : 0), 'm');
  ::mkdir(root.c_str(), 0755);
  for (long folder = 0; folder < folders; ++folder) {
    const std::string dir = root + "/d" + std::to_string(folder);
    if (::mkdir(dir.c_str(), 0755) != 0) {
      std::perror(dir.c_str());
      return 1;
    }
    for (long file = 0; file < files; ++file) {
      const long index = folder * files + file;
      const size_t size = 200 + (spread ? static_cast<size_t>(index * 7919 % total) : 0);
      std::memcpy(content.data(), &index, sizeof index);
      const std::string path = dir + "/f" + std::to_string(index) + ".jpg";
      FILE* out = std::fopen(path.c_str(), "wb");
      if (!out || std::fwrite(content.data(), 1, size, out) != size || std::fclose(out) != 0) {
        std::perror(path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
