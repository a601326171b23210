// SPDX-License-Identifier: GPL-3.0-or-later
#include "legacy/path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_env.h"

namespace msifter::legacy {
namespace {

TEST(cPath, PlatformFoldersEndWithSeparator) {
  testing::TempEnv env;
  const std::string home = (env.root() / "home").string();
  env.setVar("HOME", home);
  env.setVar("XDG_CONFIG_HOME", std::nullopt);
  env.setVar("XDG_DATA_HOME", std::nullopt);
  const cPath p;
  EXPECT_EQ(p.GetWindowsDirectory(), "/usr/");
  EXPECT_EQ(p.GetSystemDirectory(), "/usr/lib/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::Desktop), home + "/Desktop/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::MyDocuments), home + "/Documents/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::StartMenu), home + "/.local/share/applications/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::Startup), home + "/.config/autostart/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::Fonts), home + "/.local/share/fonts/");
  EXPECT_EQ(p.GetSpecialFolder(cPath::Favorites), "/");  // no such folder here
  EXPECT_EQ(p.GetSpecialFolder(12345), "/");

  // The user's own user-dirs.dirs wins.
  std::filesystem::create_directories(home + "/.config");
  std::ofstream(home + "/.config/user-dirs.dirs")
      << "# comment\nXDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n";
  EXPECT_EQ(p.GetSpecialFolder(cPath::Desktop), home + "/デスクトップ/");
}

TEST(cPath, ShortPathAndAssociatedProgram) {
  testing::TempEnv env;
  const auto data = env.writeFile("a b.txt", 3);
  const auto tool = env.writeFile("tool.sh", 3);
  std::filesystem::permissions(tool, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);

  EXPECT_EQ(cPath(data.string()).GetShortPathName(), data.string());
  EXPECT_EQ(cPath((env.root() / "missing").string()).GetShortPathName(), "");

  EXPECT_EQ(cPath(tool.string()).GetExecFileFromDataFile(), tool.string());
  EXPECT_EQ(cPath((env.root() / "missing").string()).GetExecFileFromDataFile(), "");

  // A data file opens through the desktop's opener when one is on PATH.
  const auto opener = env.writeFile("bin/xdg-open", 1);
  std::filesystem::permissions(opener, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  env.setVar("PATH", (env.root() / "bin").string());
  EXPECT_EQ(cPath(data.string()).GetExecFileFromDataFile(), opener.string());
  env.setVar("PATH", (env.root() / "nowhere").string());
  EXPECT_EQ(cPath(data.string()).GetExecFileFromDataFile(), "");
}

}  // namespace
}  // namespace msifter::legacy
