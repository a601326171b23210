// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/path.h"

#include "platform/folders.h"

namespace msifter::legacy {

namespace {

// The shell's answer can come back split at NUL characters: cut at the
// first pair, mend one single NUL with a space, cut at any that remains.
std::string cleanShellAnswer(std::string text) {
  const std::size_t pair = text.find(std::string("\0\0", 2));
  if (pair != std::string::npos) text.resize(pair);
  const std::size_t single = text.find('\0');
  if (single != std::string::npos) text[single] = ' ';
  const std::size_t rest = text.find('\0');
  if (rest != std::string::npos) text.resize(rest);
  return text;
}

}  // namespace

std::string cPath::GetShortPathName() const { return platform::shortPathName(FileName()); }

std::string cPath::GetWindowsDirectory() const {
  return GetFullPathName(platform::windowsDirectory());
}

std::string cPath::GetSystemDirectory() const {
  return GetFullPathName(platform::systemDirectory());
}

std::string cPath::GetSpecialFolder(int32_t GetFolderType) const {
  return GetFullPathName(platform::specialFolder(GetFolderType));
}

std::string cPath::GetExecFileFromDataFile() const {
  std::string program;
  if (platform::findExecutable(FileName(), program)) return "";
  return cleanShellAnswer(program);
}

}  // namespace msifter::legacy
