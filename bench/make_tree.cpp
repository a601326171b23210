// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the trees the searches are measured on: FOLDERS folders (ten at the
// top, the rest spread below them) of FILES files each.
//
//   bench_make_tree ROOT FOLDERS FILES MAX_SIZE [SEED]
//     mixed extensions and letter cases, each file a sparse file of a random
//     length up to MAX_SIZE bytes (the finder's trees);
//   bench_make_tree --camera ROOT FOLDERS FILES
//     empty files named as a camera and a phone name them. Two in ten are
//     JPEGs (".jpg", ".JPG"); no other name holds "jpg", so `--images jpg`
//     and `find -iname '*.jpg'` pick the same files (the preview's tree).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

namespace {

struct Layout {
  // Folder d: its top folder's name (d % 10 of them), then, from the
  // eleventh on, its own name below that.
  std::function<std::string(long d)> top;
  std::function<std::string(long d)> below;
  // File f of folder d: its name, and its length in bytes.
  std::function<std::string(long d, long f)> name;
  std::function<long()> size;
};

bool makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  std::perror(path.c_str());
  return false;
}

int makeTree(const std::string& root, long folders, long files, const Layout& layout) {
  if (!makeFolder(root)) return 1;
  long made = 0;
  for (long d = 0; d < folders; ++d) {
    std::string folder = root + "/" + layout.top(d % 10);
    if (d >= 10) folder += "/" + layout.below(d);
    if (!makeFolder(folder)) return 1;
    for (long f = 0; f < files; ++f) {
      const std::string path = folder + "/" + layout.name(d, f);
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      const long size = fd < 0 ? 0 : layout.size();
      if (fd < 0 || (size > 0 && ::ftruncate(fd, size) != 0)) {
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

long number(const char* text) { return std::strtol(text, nullptr, 10); }

int cameraTree(const std::string& root, long folders, long files) {
  static const char* const kExts[] = {"jpg", "CR2",  "xmp", "JPG", "png",
                                      "MOV", "heic", "mp4", "dng", "txt"};
  return makeTree(root, folders, files,
                  {.top = [](long d) { return std::to_string(100 + d) + "CANON"; },
                   .below = [](long d) { return "day" + std::to_string(d); },
                   .name =
                       [](long d, long f) {
                         return "IMG_" + std::to_string(d) + "_" + std::to_string(f) + "." +
                                kExts[f % 10];
                       },
                   .size = [] { return 0L; }});
}

int sizedTree(const std::string& root, long folders, long files, long maxSize, unsigned seed) {
  static const char* const kExts[] = {"jpg", "JPG",  "jpeg", "png",     "PNG", "gif",
                                      "bmp", "tif",  "TIFF", "pcd",     "txt", "doc",
                                      "mp3", "html", "dat",  "jpg.bak", ""};
  constexpr std::size_t kExtCount = sizeof(kExts) / sizeof(kExts[0]);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> pickExt(0, kExtCount - 1);
  std::uniform_int_distribution<long> pickSize(0, maxSize);
  return makeTree(root, folders, files,
                  {.top = [](long d) { return "g" + std::to_string(d); },
                   .below = [](long d) { return "s" + std::to_string(d); },
                   .name =
                       [&](long d, long f) {
                         const char* ext = kExts[pickExt(rng)];
                         std::string name = "IMG_" + std::to_string(d) + "_" + std::to_string(f);
                         return *ext == '\0' ? name : name + "." + ext;
                       },
                   .size = [&] { return pickSize(rng); }});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--camera")
    return cameraTree(argv[2], number(argv[3]), number(argv[4]));
  if (argc == 5 || argc == 6) {
    const unsigned seed = argc > 5 ? static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)) : 1u;
    return sizedTree(argv[1], number(argv[2]), number(argv[3]), number(argv[4]), seed);
  }
  std::fputs(
      "usage: bench_make_tree ROOT FOLDERS FILES MAX_SIZE [SEED]\n"
      "       bench_make_tree --camera ROOT FOLDERS FILES\n",
      stderr);
  return 2;
}
