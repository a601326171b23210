#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "isolated_test.h"

namespace msifter::cli {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public testing::IsolatedTest {};

// The process's working folder, for one test.
struct WorkingFolder {
  explicit WorkingFolder(const fs::path& folder) { fs::current_path(folder); }
  ~WorkingFolder() { fs::current_path(before); }
  fs::path before = fs::current_path();
};

// No option takes the next one as its value, and no switch takes a value:
// `--other= --dry-run` once moved files for real.
TEST_F(CommandLineTest, ValuesAreNeverTakenFromTheNextOption) {
  struct Row {
    std::vector<std::string> args;
    std::string error;  // "" for a command line that runs
    std::string other = "";
  };
  const Row rows[] = {
      {{"--other=", "--dry-run"}, "--other の値が空です。"},
      {{"--other", "--dry-run"}, "--other の値がありません。"},
      {{"--other", ""}, "--other の値が空です。"},
      {{"--all", "--limit", "--", "x"}, "--limit の値がありません。"},
      {{"--all", "--max-kb"}, "--max-kb の値がありません。"},
      {{"--all", "--dry-run=false"}, "--dry-run に値は指定できません。"},
      // An empty item would take every file; a separator at the end adds none.
      {{"--other=raw,,jpg"}, "--other: 拡張子を txt,doc のように , か ; で区切って指定して下さい（空の項目があります）"},
      {{"--other", ";raw"}, "--other: 拡張子を txt,doc のように , か ; で区切って指定して下さい（空の項目があります）"},
      {{"--other", "raw,jpg;", "--dry-run"}, "", "raw;jpg;"},
      {{"--other=-x", "--dry-run"}, "", "-x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front() + " " + row.args.back());
    std::vector<std::string> args = {"run", "/s", "/d"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    ::testing::internal::CaptureStderr();
    const CommandLine line = parseCommandLine(args);
    const std::string said = ::testing::internal::GetCapturedStderr();
    if (!row.error.empty()) {
      EXPECT_EQ(line.command, Command::None);
      EXPECT_EQ(line.status, kUsageError);
      EXPECT_EQ(said.substr(0, said.find('\n')), row.error);
      continue;
    }
    ASSERT_EQ(line.command, Command::Run) << said;
    EXPECT_EQ(line.run.other, row.other);
    EXPECT_TRUE(line.run.dryRun);
  }
}

// Folders as every Unix tool takes them, in the form the window's folder
// check expects: ".." through a link leads to the parent of its target.
TEST_F(CommandLineTest, FoldersAreTakenAsTheSystemReadsThem) {
  const fs::path here = fs::canonical(env.root());
  fs::create_directories(here / "x/y");
  fs::create_directory_symlink(here / "x/y", here / "link");
  const WorkingFolder working(here);
  const std::pair<std::string, std::string> rows[] = {
      {".", here},
      {"..", here.parent_path()},
      {"./x", here / "x"},
      {"x/.", here / "x"},
      {"x//y/./", here / "x/y"},
      {"link/..", here / "x"},
      {"x/y/../../link/../y", here / "x/y"},
      {"missing/../x", here / "missing/../x"},
      {"/", "/"},
      {"-odd", here / "-odd"},
  };
  for (const auto& [given, expected] : rows) {
    SCOPED_TRACE(given);
    const CommandLine line = parseCommandLine({"run", "--all", "--", given, "/d"});
    ASSERT_EQ(line.command, Command::Run);
    EXPECT_EQ(line.run.source, expected);
  }
}

}  // namespace
}  // namespace msifter::cli
