// Writes a tree to measure transfers on:
//   transfer_make_tree ROOT FOLDERS FILES_PER_FOLDER BYTES
// File names are unique across the whole tree, so that a flat destination
// can take every file under its own name too (as mv -t needs).
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s ROOT FOLDERS FILES_PER_FOLDER BYTES\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  const long folders = std::atol(argv[2]);
  const long files = std::atol(argv[3]);
  const std::vector<char> content(static_cast<size_t>(std::atol(argv[4])), 'm');
  ::mkdir(root.c_str(), 0755);
  for (long d = 0; d < folders; ++d) {
    const std::string folder = root + "/d" + std::to_string(d);
    if (::mkdir(folder.c_str(), 0755) != 0) {
      std::perror(folder.c_str());
      return 1;
    }
    for (long f = 0; f < files; ++f) {
      const std::string path = folder + "/img" + std::to_string(d) + "_" + std::to_string(f) + ".jpg";
      FILE* out = std::fopen(path.c_str(), "wb");
      if (!out || std::fwrite(content.data(), 1, content.size(), out) != content.size() ||
          std::fclose(out) != 0) {
        std::perror(path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
