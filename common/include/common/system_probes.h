// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the error report tells of the system, and the folder its log lives
// in. Each probe is guarded: a failure is reported on its own and the probe
// returns its failure value.
#include <string>

namespace msifter::common {

// The platform's version record. The two registry values, and the browser
// values below, are not kept on this platform: they answer "Can'tGet".
bool gGetWinVersion(std::string& platformText, std::string& major, std::string& minor,
                    std::string& build, std::string& servicePack, std::string& subVersionNumber,
                    std::string& versionText);
bool gGetIeVersion(std::string& version, std::string& build, std::string& versionVectorIE);
// The first of TEMP, TMP, TMPDIR that names a folder, else /tmp, else the
// program's folder.
std::string gGetWinTempDir();
// The path itself when it exists; otherwise a report and the path unchanged.
std::string gGetLongFileName(const std::string& path);

}  // namespace msifter::common
