#pragma once
// The look-ups of the error handler and of the program's own facts that ask
// the system: its version record, where the program and the temporary
// folders are.
#include <string>

namespace msifter::common::detail {

struct PlatformVersion {
  std::string family;  // "Linux"
  long major = 0;
  long minor = 0;
  long build = 0;           // third release number
  std::string servicePack;  // the kernel's version string
};

bool readPlatformVersion(PlatformVersion& out);
std::string executablePath();
// "" when it cannot be had.
std::string currentFolder();
bool folderExists(const std::string& path);

}  // namespace msifter::common::detail
