#include "legacy/file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::legacy {
namespace {

namespace fs = std::filesystem;

std::string text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TransferHelpers, MoveAndCopyNeverReplaceAndReportRefusals) {
  testing::TempEnv env;
  testing::RecordingUi ui;
  const fs::path a = env.writeFile("a.jpg", 3, 'a');
  const fs::path b = env.writeFile("b.jpg", 3, 'b');
  EXPECT_FALSE(gMoveFile(a, b, false));
  EXPECT_FALSE(gCopyFile(a, b));
  EXPECT_EQ(text(b), "bbb");
  EXPECT_EQ(text(a), "aaa");
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("gMoveFile"), std::string::npos);
  EXPECT_NE(log.find("gCopyFile"), std::string::npos);

  EXPECT_TRUE(gCopyFile(a, env.root() / "c.jpg"));
  EXPECT_EQ(text(a), "aaa");
  EXPECT_TRUE(gMoveFile(a, env.root() / "d.jpg", false));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_EQ(text(env.root() / "d.jpg"), "aaa");
}

TEST(TransferHelpers, DriveMediaConditionOnlyForMountPoints) {
  EXPECT_TRUE(gChkDriveMediaCondition("/"));
  EXPECT_FALSE(gChkDriveMediaCondition("/no/such/drive"));
}

}  // namespace
}  // namespace msifter::legacy
