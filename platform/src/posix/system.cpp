// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/syscalls.h"

namespace msifter::platform {

namespace {
void splitRelease(const char* release, SystemVersion& out) {
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

bool readSystemVersion(SystemVersion& out) {
  struct utsname name {};
  if (syscalls().uname(&name) != 0) return false;
  out.family = name.sysname;
  splitRelease(name.release, out);
  out.version = name.version;
  return true;
}

std::string executablePath() {
  char path[PATH_MAX];
  const ssize_t n = syscalls().readlink("/proc/self/exe", path, sizeof path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) return {};
  return std::string(path, static_cast<size_t>(n));
}

uint32_t effectiveUserId() { return static_cast<uint32_t>(syscalls().geteuid()); }

bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace msifter::platform
