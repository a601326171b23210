#include "common/app.h"

#include <filesystem>

#include "system_probe.h"

namespace msifter::common {

std::string applicationFolder() {
  const std::string exe = detail::executablePath();
  if (exe.empty()) return detail::currentFolder();
  return std::filesystem::path(exe).parent_path().string();
}

}  // namespace msifter::common
