// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/paths.h"

#include "common/failure.h"
#include "platform/directory.h"
#include "platform/file_identity.h"
#include "platform/folders.h"
#include "platform/mounts.h"

namespace msifter::common {

std::string gAddBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != platform::kSeparator) result += platform::kSeparator;
  return result;
}

std::string gUnRoot(std::string path) {
  return guardLog("gUnRoot", std::string("False"), [&] {
    if (!path.empty() && path.back() == platform::kSeparator) path.pop_back();
    return path;
  });
}

bool gChkDirExists(std::string path, bool skipDriveTest) {
  return guardLog("gChkDirExists", false, [&] {
    const bool wasRoot = !path.empty();
    path = gUnRoot(path);
    if constexpr (platform::kDriveLetters) {
      // A bare drive ("C:") is there when its medium can be read.
      if (!skipDriveTest && !path.empty() && path.back() == ':')
        return platform::tryListFolder(path + platform::kSeparator).ok();
    } else {
      (void)skipDriveTest;
      // "/" loses its only character to gUnRoot; the root folder exists.
      if (path.empty() && wasRoot) path.assign(1, platform::kSeparator);
    }
    if (!platform::entryExists(path)) return false;
    // The entry found is named by the last component, which may be "." or
    // "..": those are not taken as a folder of their own.
    const std::size_t sep = path.find_last_of(platform::kSeparator);
    const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    return name != "." && name != ".." && (!name.empty() || path.size() == 1);
  });
}

bool folderWithin(const std::string& inner, const std::string& outer) {
  platform::FileIdentity top;
  std::string at;
  if (platform::identityOf(outer, top) || platform::resolvedPath(inner, at)) return false;
  for (;;) {
    platform::FileIdentity here;
    if (platform::identityOf(at, here)) return false;
    if (here.sameFile(top)) return true;
    const auto slash = at.find_last_of(platform::kSeparator);
    if (at.size() <= 1 || slash == std::string::npos) return false;
    at.resize(slash == 0 ? 1 : slash);
  }
}

}  // namespace msifter::common
