#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "system_probe.h"

namespace msifter::common::detail {

namespace {
// "6.1.0-18-amd64" -> 6, 1, 0; missing numbers stay 0.
void splitRelease(const char* release, PlatformVersion& out) {
  long* fields[] = {&out.major, &out.minor, &out.build};
  const char* p = release;
  for (long* field : fields) {
    char* end = nullptr;
    *field = std::strtol(p, &end, 10);
    if (end == p || *end != '.') break;
    p = end + 1;
  }
}
}  // namespace

bool readPlatformVersion(PlatformVersion& out) {
  struct utsname name {};
  if (::uname(&name) != 0) return false;
  out.family = name.sysname;
  splitRelease(name.release, out);
  out.servicePack = name.version;
  return true;
}

std::string executablePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

}  // namespace msifter::common::detail
