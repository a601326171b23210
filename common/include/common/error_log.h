// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The error log: one record per report, appended to m_sifter_ErrLog.txt in
// the temporary folder, and opened for the user on the fatal path.
#include <string>
#include <string_view>

namespace msifter::common {

// Appends one record: an empty line, the text, the trailer. False when
// nothing could be written; reports nothing itself.
bool gSetErrLog(const std::string& text, const std::string& trailer);
// The log's full path; false (path unchanged) when it cannot be built.
bool gGetErrLogFileName(std::string& path);
// Opens the log with its associated program, minimised.
bool gDspErrLog();

// The report gProcError writes, exposed so the layout can be checked exactly.
std::string buildErrorReport(std::string_view procName, std::string_view detail);

}  // namespace msifter::common
