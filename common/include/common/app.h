#pragma once
// Facts about the program itself: its title, its version and where it lives.
#include <string>

namespace msifter::common {

inline constexpr const char* kAppTitle = "m_sifter";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 1;

// "1.0.1"
std::string versionText();

// The folder that holds the executable, without a trailing separator.
// sys/msg and index.html live here.
std::string applicationFolder();

// The platform's path separator as text ("/" here).
inline constexpr const char* kPathSeparator = "/";

}  // namespace msifter::common
