// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private temporary folder per test, with XDG_CONFIG_HOME, XDG_STATE_HOME,
// XDG_CACHE_HOME, TEMP, TMP and TMPDIR pointed into it for the test's lifetime. Removed afterwards.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "files.h"

namespace msifter::testing {

class TempEnv {
 public:
  TempEnv();
  ~TempEnv();
  TempEnv(const TempEnv&) = delete;
  TempEnv& operator=(const TempEnv&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // root()/tmp: where the error log goes.
  std::filesystem::path tempDir() const { return root_ / "tmp"; }
  std::filesystem::path configHome() const { return root_ / "config"; }
  // Not made in advance: the run journals make it.
  std::filesystem::path stateHome() const { return root_ / "state"; }
  // Not made in advance either: the library index makes it.
  std::filesystem::path cacheHome() const { return root_ / "cache"; }

  // Sets (or with nullopt unsets) a variable until the end of the test.
  void setVar(const std::string& name, const std::optional<std::string>& value);

  // Writes a file of `size` bytes (filled with `fill`), creating folders.
  std::filesystem::path writeFile(const std::filesystem::path& relative, std::size_t size = 0,
                                  char fill = 'x') const;
  // The error log's text ("" when there is none yet).
  std::string errorLog() const;

 private:
  std::filesystem::path root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace msifter::testing
