// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// cPath whole: the text rules of objects::cPath and the platform look-ups
// (short path, the system's folders, special folders by number, the program
// that opens a file). Failures reach the caller's guard.
#include <cstdint>
#include <string>

#include "objects/path.h"

namespace msifter::legacy {

class cPath : public objects::cPath {
 public:
  using objects::cPath::cPath;

  // Special-folder numbers for GetSpecialFolder.
  enum SpecialFolder : int32_t {
    Desktop = 0,
    Programs = 2,
    MyDocuments = 5,
    Favorites = 6,
    Startup = 7,
    Recent = 8,
    SendTo = 9,
    StartMenu = 11,
    Fonts = 20
  };

  std::string GetShortPathName() const;
  // Platform folders, each ending in a separator.
  std::string GetWindowsDirectory() const;
  std::string GetSystemDirectory() const;
  std::string GetSpecialFolder(int32_t GetFolderType) const;
  // The program that opens FileName; "" when there is none.
  std::string GetExecFileFromDataFile() const;
};

}  // namespace msifter::legacy
