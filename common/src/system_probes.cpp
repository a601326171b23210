// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/system_probes.h"

#include <cstdlib>

#include "common/app.h"
#include "common/failure.h"
#include "platform/directory.h"
#include "platform/folders.h"
#include "platform/system.h"

namespace msifter::common {

namespace {

// What a probe of a value this platform does not keep answers.
constexpr const char* kCantGet = "Can'tGet";

bool folderExists(const char* path) {
  return platform::entryKind(path) == platform::EntryKind::Folder;
}

}  // namespace

std::string gGetLongFileName(const std::string& path) {
  return guardLog("gGetLongFileName", path, [&] {
    if (!platform::entryExists(path)) {
      // A failed look-up raises no failure of its own; the report says 0.
      gProcError("gGetLongFileName", "");
    }
    return path;
  });
}

std::string gGetWinTempDir() {
  return guardLog("gGetWinTempDir", std::string(), [] {
    std::string folder;
    for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
      const char* value = std::getenv(name);
      if (value && folderExists(value)) {
        folder = value;
        break;
      }
    }
    if (folder.empty()) folder = folderExists("/tmp") ? "/tmp" : applicationFolder();
    return gGetLongFileName(folder);
  });
}

bool gGetWinVersion(std::string& platformText, std::string& major, std::string& minor,
                    std::string& build, std::string& servicePack, std::string& subVersionNumber,
                    std::string& versionText) {
  return guardLog("gGetWinVersion", false, [&] {
    platform::SystemVersion version;
    if (!platform::readSystemVersion(version)) fail(err::Automation);
    platformText = version.family;
    major = std::to_string(version.major);
    minor = std::to_string(version.minor);
    build = std::to_string(version.build);
    servicePack = version.version;
    subVersionNumber = kCantGet;
    versionText = kCantGet;
    return true;
  });
}

bool gGetIeVersion(std::string& version, std::string& build, std::string& versionVectorIE) {
  return guardLog("gGetIeVersion", false, [&] {
    version = kCantGet;
    build = kCantGet;
    versionVectorIE = kCantGet;
    return true;
  });
}

}  // namespace msifter::common
