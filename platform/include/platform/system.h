// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program asks of the system it runs on and of its own process.
#include <cstdint>
#include <string>

namespace msifter::platform {

struct SystemVersion {
  std::string family;  // "Linux"
  long major = 0;
  long minor = 0;
  long build = 0;       // third release number
  std::string version;  // the kernel's version string
};

// From uname(2): "6.1.0-18-amd64" gives 6, 1, 0; missing numbers stay 0.
bool readSystemVersion(SystemVersion& out);
// The path of the running program; "" when it cannot be told.
std::string executablePath();
// The user the process acts as: the owner of the files it makes.
uint32_t effectiveUserId();
// Whether standard output, or standard error, is a terminal: what a person
// reads as it comes, not a file or a pipe.
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

}  // namespace msifter::platform
