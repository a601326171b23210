// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/paths.h"

#include <gtest/gtest.h>

#include "temp_env.h"

namespace msifter::common {
namespace {

TEST(Paths, AddBackslashAddsExactlyOneSeparator) {
  EXPECT_EQ(gAddBackslash("/src"), "/src/");
  EXPECT_EQ(gAddBackslash("/src/"), "/src/");
  EXPECT_EQ(gAddBackslash("/src//"), "/src//");
  EXPECT_EQ(gAddBackslash(""), "/");
}

TEST(Paths, UnRootRemovesOneTrailingSeparator) {
  struct Row {
    std::string path, unrooted;
  };
  const Row rows[] = {
      {"/data/", "/data"}, {"/data", "/data"}, {"/data//", "/data/"},
      {"/", ""},           {"", ""},           {"C:\\", "C:\\"},
  };
  for (const auto& r : rows) EXPECT_EQ(gUnRoot(r.path), r.unrooted) << r.path;
}

TEST(Paths, ChkDirExists) {
  testing::TempEnv env;
  env.writeFile("data/file.txt");
  const std::string root = env.root().string();
  const std::string there[] = {
      root + "/data",
      root + "/data/",
      root + "/data/file.txt",  // an existing file counts too
      "/",
  };
  const std::string notThere[] = {
      root + "/missing",
      root + "/data/*",  // no wildcards here: "*" is a name character
      root + "/data/.",  // the entry found would be "." itself
      root + "/data/..", "",
  };
  for (const auto& path : there) EXPECT_TRUE(gChkDirExists(path, false)) << path;
  for (const auto& path : notThere) EXPECT_FALSE(gChkDirExists(path, false)) << path;
}

}  // namespace
}  // namespace msifter::common
