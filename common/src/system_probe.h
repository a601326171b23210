#pragma once
// The operating system's version record, as the error report shows it.
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

}  // namespace msifter::common::detail
