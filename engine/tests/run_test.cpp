#include "engine/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

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

TEST(RunNumbers, KilobyteTextsBecomeBytes) {
  struct Row {
    const char* text;
    int64_t bytes;
  };
  const Row rows[] = {{"0", 0},
                      {"2097151", 2147482624},
                      {"2097152", 2147483648},
                      {" 10 ", 10240},
                      {"2.5", 2048},  // a half goes to the even neighbour
                      {"3.5", 4096},
                      {"2.51", 3072},
                      {"-1", -1024},
                      {"1e3", 1024000},
                      {"9007199254740991", 9223372036854774784}};
  for (const Row& row : rows) EXPECT_EQ(kbTextToBytes(row.text), row.bytes) << row.text;

  struct Bad {
    const char* text;
    int32_t number;
  };
  for (const Bad& bad :
       {Bad{"abc", common::err::TypeMismatch}, Bad{"", common::err::TypeMismatch},
        Bad{"12KB", common::err::TypeMismatch}, Bad{"9007199254740993", common::err::Overflow},
        Bad{"1e300", common::err::Overflow}}) {
    try {
      kbTextToBytes(bad.text);
      ADD_FAILURE() << bad.text << " was accepted";
    } catch (const common::RuntimeFailure& f) {
      EXPECT_EQ(f.number(), bad.number) << bad.text;
    }
  }
}

// The main window as the Execute command sees it.
class FakeWindow : public ExecuteWindow {
 public:
  TransferOptions snapshot;
  bool settingsOk = true;
  bool failSnapshot = false;
  std::vector<std::string> events;
  std::string summary;

  bool isChecked(common::Check box) const override { return box == common::Check::AllFile; }
  std::string otherText() const override { return ""; }
  bool checkSettings() override {
    events.push_back("check");
    return settingsOk;
  }
  void enterBusyState() override { events.push_back("busy"); }
  void saveSettings() override { events.push_back("save"); }
  TransferOptions takeSnapshot() override {
    if (failSnapshot) kbTextToBytes("2e300");
    return snapshot;
  }
  ProgressLabel* progressLabel() override { return &label; }
  void showSummary(const std::string& text) override { summary = text; }
  void leaveBusyState() override { events.push_back("idle"); }

 private:
  struct : ProgressLabel {
    void setCaption(const std::string&) override {}
  } label;
};

class RunTest : public ::testing::Test {
 protected:
  testing::TempEnv env;
  testing::RecordingUi ui;
  FakeWindow window;
  void SetUp() override {
    runState() = RunState{};
    window.snapshot.serverDir = env.writeFile("src/a.jpg", 100).parent_path().string();
    env.writeFile("src/b.png", 28);
    fs::create_directories(env.root() / "dst");
    window.snapshot.receiveDir = (env.root() / "dst").string();
    window.snapshot.renameMethod = RenameMethod::SerialNumber;
  }
};

TEST_F(RunTest, ARunMovesEverythingAndSummarises) {
  runState().serialNumber = 41;
  executeCommand(window);
  EXPECT_EQ(window.events, (std::vector<std::string>{"check", "busy", "save", "idle"}));
  EXPECT_EQ(runState().runFileCount, 2);
  EXPECT_EQ(runState().runByteTotal, 128);
  EXPECT_EQ(runState().lstResult.size(), 2u);
  EXPECT_TRUE(fs::exists(env.root() / "dst/0000000000_a.jpg"));
  EXPECT_TRUE(fs::exists(env.root() / "dst/0000000001_b.png"));
  EXPECT_EQ(window.summary, "処理結果： 2 ファイル   128 バイト   処理時間 0 秒");
  EXPECT_TRUE(std::regex_match(runState().lastExecute,
                               std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})")));
}

TEST_F(RunTest, CountLimitZeroEndsNormallyWithNothing) {
  window.snapshot.useCountLimit = true;
  window.snapshot.countLimit = 0;
  runState().lstResult = {"left over from the last run"};
  executeCommand(window);
  EXPECT_TRUE(runState().lstResult.empty());
  EXPECT_EQ(window.summary, "処理結果： 0 ファイル   0 バイト   処理時間 0 秒");
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
  EXPECT_TRUE(fs::is_empty(env.root() / "dst"));
}

TEST_F(RunTest, RejectedSettingsOnlyResetTheCounters) {
  window.settingsOk = false;
  runState().serialNumber = 7;
  runState().runFileCount = 3;
  executeCommand(window);
  EXPECT_EQ(window.events, std::vector<std::string>{"check"});
  EXPECT_EQ(runState().serialNumber, 0);
  EXPECT_EQ(runState().runFileCount, 0);
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
}

TEST_F(RunTest, ANumberThatDoesNotFitEndsTheProgram) {
  window.failSnapshot = true;
  EXPECT_THROW(executeCommand(window), common::ProgramEnded);
  EXPECT_NE(env.errorLog().find("gProcess1"), std::string::npos);
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
}

TEST_F(RunTest, ATransferFailureEndsTheProgram) {
  // A destination that is a file, not a folder.
  window.snapshot.receiveDir = env.writeFile("not-a-folder", 1).string();
  EXPECT_THROW(executeCommand(window), common::ProgramEnded);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("mMoveFile"), std::string::npos);
  EXPECT_NE(log.find("gProcess1"), std::string::npos);
  EXPECT_TRUE(fs::exists(env.root() / "src/a.jpg"));
}

// The window thread reads the run state while the worker's command holds it.
TEST_F(RunTest, ASecondThreadStopsADebugBuildWhileACommandHoldsTheRunState) {
#ifdef NDEBUG
  GTEST_SKIP() << "release builds do not check";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Intruding : FakeWindow {
    bool checkSettings() override {
      std::thread([] { (void)runState().runFileCount; }).join();
      return false;
    }
  } intruding;
  EXPECT_DEATH(executeCommand(intruding), "the run state: touched by a second");
#endif
}

}  // namespace
}  // namespace msifter::engine
