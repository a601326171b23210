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
  struct Row {
    std::string path;
    bool exists;
  };
  const Row rows[] = {
      {root + "/data", true},
      {root + "/data/", true},
      {root + "/data/file.txt", true},  // an existing file counts too
      {root + "/missing", false},
      {root + "/data/*", false},  // no wildcards here: "*" is a name character
      {root + "/data/.", false},  // the entry found would be "." itself
      {root + "/data/..", false},
      {"/", true},
      {"", false},
  };
  for (const auto& r : rows) EXPECT_EQ(gChkDirExists(r.path, false), r.exists) << r.path;
}

}  // namespace
}  // namespace msifter::common
