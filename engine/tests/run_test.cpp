// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/failure.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::engine {
namespace {

namespace fs = std::filesystem;

TEST(RunSummary, ExactText) {
  struct Row {
    int32_t files;
    int64_t bytes;
    int64_t seconds;
    const char* expected;
  };
  const Row rows[] = {
      {0, 0, 0, "処理結果： 0 ファイル   0 バイト   処理時間 0 秒"},
      {3, 2147483648, 12, "処理結果： 3 ファイル   2147483648 バイト   処理時間 12 秒"},
      {1, 999999999999999, 1, "処理結果： 1 ファイル   999999999999999 バイト   処理時間 1 秒"},
      {1, 1000000000000000, 1, "処理結果： 1 ファイル   1E+15 バイト   処理時間 1 秒"},
      {1, 1234567890123456, 1,
       "処理結果： 1 ファイル   1.23456789012346E+15 バイト   処理時間 1 秒"},
      {1, 15000000000000000, 1, "処理結果： 1 ファイル   1.5E+16 バイト   処理時間 1 秒"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(formatSummary(row.files, row.bytes, row.seconds), row.expected);
}

// The window's and the command line's KB become bytes at the snapshot;
// the texts of the window's boxes are numbers before (settings' tests).
TEST(RunNumbers, KilobytesBecomeBytes) {
  struct Row {
    int32_t kb;
    int64_t bytes;
  };
  const Row rows[] = {{0, 0},      {2097151, 2147482624}, {2097152, 2147483648},
                      {10, 10240}, {-1, -1024},           {2147483647, 2199023254528}};
  for (const Row& row : rows) {
    options::RunOptions options;
    options.minSizeKb = row.kb;
    options.maxSizeKb = row.kb;
    TransferOptions snapshot;
    ASSERT_TRUE(takeSnapshot(options, snapshot));
    EXPECT_EQ(snapshot.bounds.minSizeBytes, row.bytes) << row.kb;
    EXPECT_EQ(snapshot.bounds.maxSizeBytes, row.bytes) << row.kb;
  }
}

// What a run tells as it goes.
class RecordingRun : public RunObserver {
 public:
  std::vector<std::string> folders;
  std::vector<std::pair<int64_t, int64_t>> starts;
  std::size_t planned = 0;
  std::vector<std::string> transferred;

  void folderEntered(const std::string& folder) override { folders.push_back(folder); }
  void transferStarting(int64_t files, int64_t bytes) override {
    starts.emplace_back(files, bytes);
  }
  void filesPlanned(std::size_t files) override { planned += files; }
  void fileTransferred(const TransferredFile& file) override {
    transferred.push_back(fs::path(file.destination).filename());
  }
};

class RunTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  RecordingRun seen;
  options::RunOptions options;
  void SetUp() override {
    options.serverDir = env.writeFile("src/a.jpg", 100).parent_path().string();
    env.writeFile("src/b.png", 28);
    fs::create_directories(env.root() / "dst");
    options.receiveDir = (env.root() / "dst").string();
    options.allFile = true;
    options.renameMethod = RenameMethod::SerialNumber;
  }
};

TEST_F(RunTest, ARunMovesEverythingAndSummarises) {
  const RunResult result = runTransfer(options, seen);
  EXPECT_EQ(result.stage, RunStage::Done);
  EXPECT_EQ(result.journalError, 0);
  EXPECT_EQ(result.runFileCount, 2);
  EXPECT_EQ(result.runByteTotal, 128);
  EXPECT_EQ(result.lstResult.size(), 2u);
  EXPECT_EQ(result.serialNumber, 2);
  EXPECT_EQ(result.journalFiles, 2);
  EXPECT_TRUE(fs::exists(env.root() / "dst/0000000000_a.jpg"));
  EXPECT_TRUE(fs::exists(env.root() / "dst/0000000001_b.png"));
  EXPECT_EQ(formatSummary(result.runFileCount, result.runByteTotal, 0),
            "処理結果： 2 ファイル   128 バイト   処理時間 0 秒");
  // Told as it went, in order, with nothing to answer.
  EXPECT_EQ(seen.folders, std::vector<std::string>{options.serverDir + "/"});
  EXPECT_EQ(seen.starts, (std::vector<std::pair<int64_t, int64_t>>{{2, 128}}));
  EXPECT_EQ(seen.planned, 2u);
  EXPECT_EQ(seen.transferred, (std::vector<std::string>{"0000000000_a.jpg", "0000000001_b.png"}));
}

TEST_F(RunTest, CountLimitZeroEndsNormallyWithNothing) {
  options.useCountLimit = true;
  options.countLimit = 0;
  const RunResult result = runTransfer(options, seen);
  EXPECT_EQ(result.stage, RunStage::Done);
  EXPECT_TRUE(result.lstResult.empty());
  EXPECT_TRUE(result.journalId.empty());  // nothing to record
  EXPECT_EQ(formatSummary(result.runFileCount, result.runByteTotal, 0),
            "処理結果： 0 ファイル   0 バイト   処理時間 0 秒");
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
  EXPECT_TRUE(fs::is_empty(env.root() / "dst"));
}

// Every run starts its serial numbers at 0: nothing carries over.
TEST_F(RunTest, EachRunStartsItsCountersAfresh) {
  ASSERT_EQ(runTransfer(options, seen).stage, RunStage::Done);
  env.writeFile("src/c.gif", 5);
  options.receiveDir = (env.root() / "second").string();
  fs::create_directories(options.receiveDir);
  const RunResult second = runTransfer(options, seen);
  EXPECT_EQ(second.runFileCount, 1);
  EXPECT_EQ(second.serialNumber, 1);
  EXPECT_TRUE(fs::exists(env.root() / "second/0000000000_c.gif"));
}

// A dry run names the files as the run would and changes nothing.
TEST_F(RunTest, ADryRunPlansAndChangesNothing) {
  options.dryRun = true;
  const RunResult result = runTransfer(options, seen);
  EXPECT_EQ(result.stage, RunStage::Planned);
  ASSERT_EQ(result.plan.size(), 2u);
  EXPECT_EQ(result.plan[0].name, "0000000000_a.jpg");
  EXPECT_EQ(result.plan[1].name, "0000000001_b.png");
  EXPECT_TRUE(result.journalId.empty());
  EXPECT_TRUE(seen.starts.empty());
  EXPECT_TRUE(fs::is_empty(env.root() / "dst"));
  EXPECT_FALSE(fs::exists(env.stateHome() / "m_sifter"));
}

TEST_F(RunTest, ATransferFailureEndsTheProgram) {
  // A destination that is a file, not a folder.
  options.receiveDir = env.writeFile("not-a-folder", 1).string();
  RunResult result;
  EXPECT_THROW(gProcess1(options, seen, result), common::ProgramEnded);
  EXPECT_EQ(result.stage, RunStage::Failed);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("mMoveFile"), std::string::npos);
  EXPECT_NE(log.find("gProcess1"), std::string::npos);
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
}

}  // namespace
}  // namespace msifter::engine
