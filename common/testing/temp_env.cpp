// SPDX-License-Identifier: GPL-3.0-or-later
#include "temp_env.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace msifter::testing {

namespace fs = std::filesystem;

TempEnv::TempEnv() {
  std::string pattern = (fs::temp_directory_path() / "msifter-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = buf.data();
  fs::create_directories(tempDir());
  fs::create_directories(configHome());
  setVar("XDG_CONFIG_HOME", configHome().string());
  setVar("XDG_STATE_HOME", stateHome().string());
  setVar("XDG_CACHE_HOME", cacheHome().string());
  setVar("TEMP", tempDir().string());
  setVar("TMP", tempDir().string());
  setVar("TMPDIR", tempDir().string());
}

TempEnv::~TempEnv() {
  for (const auto& [name, value] : saved_) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable first.
  for (auto it = fs::recursive_directory_iterator(root_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

void TempEnv::setVar(const std::string& name, const std::optional<std::string>& value) {
  if (!saved_.contains(name)) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

fs::path TempEnv::writeFile(const fs::path& relative, std::size_t size, char fill) const {
  return writeText(root_ / relative, std::string(size, fill));
}

std::string TempEnv::errorLog() const { return readText(tempDir() / "m_sifter_ErrLog.txt"); }

}  // namespace msifter::testing
