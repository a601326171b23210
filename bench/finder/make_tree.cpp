// SPDX-License-Identifier: GPL-3.0-or-later
// Builds a benchmark tree: FOLDERS folders (ten at the top, the rest spread
// below them) of FILES files each, mixed extensions and letter cases, each
// file a sparse file of a random length up to MAX_SIZE bytes.
//
//   finder_make_tree ROOT FOLDERS FILES MAX_SIZE [SEED]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("usage: finder_make_tree ROOT FOLDERS FILES MAX_SIZE [SEED]\n", stderr);
    return 2;
  }
  const std::string root = argv[1];
  const long folders = std::strtol(argv[2], nullptr, 10);
  const long files = std::strtol(argv[3], nullptr, 10);
  const long maxSize = std::strtol(argv[4], nullptr, 10);
  std::mt19937 rng(argc > 5 ? static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)) : 1u);

  static const char* const kExts[] = {"jpg", "JPG",  "jpeg", "png",     "PNG", "gif",
                                      "bmp", "tif",  "TIFF", "pcd",     "txt", "doc",
                                      "mp3", "html", "dat",  "jpg.bak", ""};
  constexpr std::size_t kExtCount = sizeof(kExts) / sizeof(kExts[0]);
  std::uniform_int_distribution<std::size_t> pickExt(0, kExtCount - 1);
  std::uniform_int_distribution<long> pickSize(0, maxSize);

  if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
    std::perror(root.c_str());
    return 1;
  }
  long made = 0;
  for (long d = 0; d < folders; ++d) {
    std::string folder = root + "/g" + std::to_string(d % 10);
    if (d >= 10) folder += "/s" + std::to_string(d);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      std::perror(folder.c_str());
      return 1;
    }
    for (long f = 0; f < files; ++f) {
      const char* ext = kExts[pickExt(rng)];
      std::string path = folder + "/IMG_" + std::to_string(d) + "_" + std::to_string(f);
      if (*ext != '\0') path += std::string(".") + ext;
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || ::ftruncate(fd, pickSize(rng)) != 0) {
        std::perror(path.c_str());
        return 1;
      }
      ::close(fd);
      ++made;
    }
  }
  std::fprintf(stderr, "%ld files in %ld folders under %s\n", made, folders, root.c_str());
  return 0;
}
