#include <sys/stat.h>
#include <sys/utsname.h>

#include <climits>
#include <cstdlib>

#include "platform/syscalls.h"
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
  if (platform::syscalls().uname(&name) != 0) return false;
  out.family = name.sysname;
  splitRelease(name.release, out);
  out.servicePack = name.version;
  return true;
}

std::string executablePath() {
  char path[PATH_MAX];
  const ssize_t n = platform::syscalls().readlink("/proc/self/exe", path, sizeof path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return {};
  return std::string(path, static_cast<size_t>(n));
}

std::string currentFolder() {
  char path[PATH_MAX];
  return platform::syscalls().getcwd(path, sizeof path) ? std::string(path) : std::string();
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && platform::syscalls().stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace msifter::common::detail
