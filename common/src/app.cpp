// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/app.h"

#include <filesystem>

#include "platform/folders.h"
#include "platform/system.h"

namespace msifter::common {

std::string applicationFolder() {
  const std::string exe = platform::executablePath();
  if (exe.empty()) return platform::currentFolder();
  return std::filesystem::path(exe).parent_path().string();
}

}  // namespace msifter::common
