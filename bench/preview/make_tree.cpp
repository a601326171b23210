// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the preview's benchmark tree: FOLDERS folders (ten at the top, the
// rest below them) of FILES empty files each, named as a camera and a phone
// name them. Two in ten are JPEGs (".jpg", ".JPG"); no other name holds
// "jpg", so `--images jpg` and `find -iname '*.jpg'` pick the same files.
//
//   preview_make_tree ROOT FOLDERS FILES
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: preview_make_tree ROOT FOLDERS FILES\n", stderr);
    return 2;
  }
  const std::string root = argv[1];
  const long folders = std::strtol(argv[2], nullptr, 10);
  const long files = std::strtol(argv[3], nullptr, 10);
  static const char* const kExts[] = {"jpg", "CR2",  "xmp", "JPG", "png",
                                      "MOV", "heic", "mp4", "dng", "txt"};
  if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
    std::perror(root.c_str());
    return 1;
  }
  for (long d = 0; d < folders; ++d) {
    std::string folder = root + "/" + std::to_string(100 + d % 10) + "CANON";
    if (d >= 10) folder += "/day" + std::to_string(d);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      std::perror(folder.c_str());
      return 1;
    }
    for (long f = 0; f < files; ++f) {
      const std::string path =
          folder + "/IMG_" + std::to_string(d) + "_" + std::to_string(f) + "." + kExts[f % 10];
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) {
        std::perror(path.c_str());
        return 1;
      }
      ::close(fd);
    }
  }
  std::fprintf(stderr, "%ld files in %ld folders under %s\n", folders * files, folders,
               root.c_str());
  return 0;
}
