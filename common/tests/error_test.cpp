// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/app.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "common/system_probes.h"
#include "common/text.h"
#include "isolated_test.h"
#include "platform/syscalls.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::common {
namespace {

namespace fs = std::filesystem;
using testing::RecordingUi;
using testing::TempEnv;

using testing::readText;

using ErrorHandlerTest = testing::IsolatedTest;

TEST_F(ErrorHandlerTest, ReportHasTheSixteenLinesInOrder) {
  raiseError(err::FileNotFound);
  const auto lines = splitAt(buildErrorReport("gFindFile", ""), "\r\n");
  ASSERT_EQ(lines.size(), 16u);  // 15 lines and the empty rest after the last CR LF
  EXPECT_EQ(lines[0], "アプリケーション名：m_sifter");
  EXPECT_EQ(lines[1], "アプリケーションヴァージョン：1.0.1");
  EXPECT_EQ(lines[2], "エラー番号：53");
  EXPECT_EQ(lines[3], "gFindFile (m_sifter)でエラーが発生しました。");
  EXPECT_EQ(lines[4], "管理者に問い合わせて下さい｡");
  EXPECT_EQ(lines[5], "エラー内容：ファイルが見つかりません。");
  EXPECT_TRUE(
      std::regex_match(lines[6], std::regex("発生日時：\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}")))
      << lines[6];
  EXPECT_EQ(lines[7], "WINTYPE：");
  EXPECT_EQ(lines[8], "\tVersion：Linux");
  EXPECT_TRUE(std::regex_match(lines[9], std::regex("\tMajor：\\d+"))) << lines[9];
  EXPECT_TRUE(std::regex_match(lines[10], std::regex("\tMinor：\\d+"))) << lines[10];
  EXPECT_TRUE(std::regex_match(lines[11], std::regex("\tBuild：\\d+"))) << lines[11];
  EXPECT_EQ(lines[12].rfind("\tSubVersion：", 0), 0u);
  EXPECT_EQ(lines[13], "IeTYPE：");
  EXPECT_EQ(lines[14], "\tVersion：Can'tGet");
  EXPECT_EQ(lines[15], "");
}

TEST_F(ErrorHandlerTest, DetailStandsOnItsOwnLineAndNumberZeroReadsAsInvalidArgument) {
  const auto lines = splitAt(
      buildErrorReport("Main", "必要とするメッセージマスタデータベースが開けません。"), "\r\n");
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[1], "アプリケーションヴァージョン：1.0.1");
  EXPECT_EQ(lines[2], "必要とするメッセージマスタデータベースが開けません。");
  EXPECT_EQ(lines[3], "エラー番号：5");
  EXPECT_EQ(lines[4], "Main (m_sifter)でエラーが発生しました。");
  EXPECT_EQ(lines[6], "エラー内容：プロシージャの呼び出し、または引数が不正です。");
}

TEST_F(ErrorHandlerTest, RecordsAppendWithThreeEmptyLinesBetween) {
  const fs::path log = env.tempDir() / "m_sifter_ErrLog.txt";
  env.writeFile(fs::relative(log, env.root()), 0);
  { std::ofstream(log, std::ios::binary) << "earlier"; }
  gProcError("first", "");
  gProcError("second", "");
  const std::string text = env.errorLog();
  ASSERT_EQ(text.rfind("earlier\r\n", 0), 0u) << "an existing log must never be truncated";
  const auto first = text.find("first (m_sifter)");
  const auto second = text.find("second (m_sifter)");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  // record = CRLF, report (ends in CRLF), trailer "" + CRLF
  const auto end = text.find("\tVersion：Can'tGet\r\n", first);
  const auto nextStart = text.find("アプリケーション名", end);
  EXPECT_EQ(text.substr(end + std::string("\tVersion：Can'tGet\r\n").size(),
                        nextStart - end - std::string("\tVersion：Can'tGet\r\n").size()),
            "\r\n\r\n\r\n");
  EXPECT_TRUE(text.ends_with("\tVersion：Can'tGet\r\n\r\n\r\n"));
  EXPECT_EQ(currentError().number, 0) << "the handler leaves no failure behind";
}

TEST_F(ErrorHandlerTest, NewLogIsItsOwnersAloneAndNoLinkIsFollowed) {
  const fs::path log = env.tempDir() / "m_sifter_ErrLog.txt";
  const mode_t savedMask = ::umask(022);
  const bool written = gSetErrLog("first", "");
  ::umask(savedMask);
  ASSERT_TRUE(written);
  struct stat info {};
  ASSERT_EQ(::stat(log.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  fs::remove(log);

  const fs::path kept = env.writeFile("kept", 0);
  { std::ofstream(kept, std::ios::binary) << "keep"; }
  const fs::path missing = env.root() / "missing";
  for (const fs::path& target : {kept, missing}) {
    fs::create_symlink(target, log);
    EXPECT_FALSE(gSetErrLog("through a link", "")) << target;
    EXPECT_FALSE(gDspErrLog()) << target;
    fs::remove(log);
  }
  EXPECT_EQ(readText(kept), "keep");
  EXPECT_FALSE(fs::exists(missing));
  // Another user's file at the log's name: not written, not shown as the log.
  { std::ofstream(log, std::ios::binary) << "theirs"; }
  ASSERT_EQ(::chown(log.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(gSetErrLog("into theirs", ""));
  EXPECT_FALSE(gDspErrLog());
  EXPECT_TRUE(ui.shellRequests.empty());
  EXPECT_EQ(readText(log), "theirs");
}

// A refused version record leaves its values empty under their labels; a
// log that a full disk refuses is not taken for written.
TEST_F(ErrorHandlerTest, RefusedSystemCallsLeaveEmptyValuesAndNoLog) {
  struct Refusing : platform::Syscalls {
    int uname(struct utsname*) override {
      errno = EFAULT;
      return -1;
    }
    ssize_t write(int, const void*, size_t) override {
      errno = ENOSPC;
      return -1;
    }
  } refusing;
  platform::ScopedSyscalls scoped(refusing);
  const auto lines = splitAt(buildErrorReport("gFindFile", ""), "\r\n");
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[8], "\tVersion：");
  EXPECT_EQ(lines[9], "\tMajor：");
  EXPECT_FALSE(gSetErrLog("text", ""));
}

TEST_F(ErrorHandlerTest, DialogOnlyBeforeStartUpSwitchesItOff) {
  gProcError("quiet", "");
  EXPECT_TRUE(ui.boxes.empty());
  gblnNoErrDialog = false;
  raiseError(err::Overflow);
  gProcError("loud", "");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "ｴﾗｰ");
  EXPECT_EQ(ui.boxes[0].style, mb::OkOnly);
  EXPECT_NE(ui.boxes[0].text.find("エラー番号：6"), std::string::npos);
  EXPECT_NE(env.errorLog().find("loud (m_sifter)"), std::string::npos);
}

TEST_F(ErrorHandlerTest, GuardReportsTheFailureNumberAndReturnsTheFailValue) {
  const int value = guardLog("gSomething", -7, []() -> int { fail(err::PathNotFound); });
  EXPECT_EQ(value, -7);
  const bool noMemory = guardLog("gAlloc", false, []() -> bool { throw std::bad_alloc(); });
  EXPECT_FALSE(noMemory);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("エラー番号：76\r\ngSomething (m_sifter)"), std::string::npos);
  EXPECT_NE(log.find("エラー番号：7\r\ngAlloc (m_sifter)"), std::string::npos);
  EXPECT_EQ(guardLog("gFine", 0, [] { return 3; }), 3);
  EXPECT_EQ(log, env.errorLog()) << "a procedure that succeeds reports nothing";
}

// A failure that travels as a value becomes a failure number only at its
// guard: the caller gets the system's answer as it was, the log the number
// and the failing call.
TEST_F(ErrorHandlerTest, GuardOfAnAnswerReportsItsNumberAndHandsItBackUnchanged) {
  const platform::OsError refused = guardResult(
      "gMoveIt", [] { return platform::OsError(EACCES, "renameat2", "/photos/a.jpg"); });
  EXPECT_EQ(refused.code(), EACCES);
  EXPECT_STREQ(refused.operation(), "renameat2");
  const platform::OsError thrown =
      guardResult("gThrows", []() -> platform::OsError { fail(err::DiskFull); });
  EXPECT_EQ(thrown.code(), EIO);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("エラー番号：70\r\ngMoveIt (m_sifter)"), std::string::npos) << log;
  EXPECT_NE(log.find("renameat2 /photos/a.jpg"), std::string::npos) << log;
  EXPECT_NE(log.find("エラー番号：61\r\ngThrows (m_sifter)"), std::string::npos) << log;
  EXPECT_EQ(currentError().number, 0);
  EXPECT_TRUE(guardResult("gFine", [] { return platform::OsError(); }).ok());
  EXPECT_EQ(log, env.errorLog()) << "a procedure that succeeds reports nothing";
}

TEST_F(ErrorHandlerTest, FatalPathTellsLogsShowsTheLogAndEnds) {
  raiseError(err::DiskFull);
  EXPECT_THROW(gProcFatalError("gProcess1", ""), ProgramEnded);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "致命的エラーが発生しました。\r\nこのアプリケーションを終了します。");
  EXPECT_EQ(ui.boxes[0].style, mb::OkOnly | mb::Critical);
  EXPECT_EQ(ui.boxes[0].title, "m_sifter");
  EXPECT_EQ(ui.boxes[1].text,
            "エラーログに関するお問い合わせ・ご報告は\r\n説明書に記載しております。");
  EXPECT_EQ(ui.boxes[1].style, mb::OkOnly | mb::Information);
  ASSERT_EQ(ui.shellRequests.size(), 1u);
  EXPECT_EQ(ui.shellRequests[0].first, (env.tempDir() / "m_sifter_ErrLog.txt").string());
  EXPECT_EQ(ui.shellRequests[0].second, 2);
  EXPECT_EQ(ui.endProcessingCalls, 1);
  EXPECT_EQ(ui.endCodes.size(), 1u);
  EXPECT_NE(env.errorLog().find("エラー番号：61\r\ngProcess1 (m_sifter)"), std::string::npos);
}

TEST_F(ErrorHandlerTest, FatalPathStillEndsWhenTheLogCannotBeShown) {
  ui.shellSucceeds = false;
  ui.endProcessingSucceeds = false;
  EXPECT_THROW(guardFatal("cmdExecute_Click", []() -> int { fail(err::Overflow); }), ProgramEnded);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "エラーログが表示できませんでした。");
  EXPECT_EQ(ui.endCodes.size(), 1u);
}

// The temporary folder is there, but looking up its long name fails: each
// report of that failure needs the folder again for its own record.
TEST_F(ErrorHandlerTest, ReportingThatKeepsFailingDoesNotRecurseWithoutEnd) {
  struct FailingLookUp : platform::Syscalls {
    int lookUps = 0;
    int lstat(const char*, struct stat*) override {
      ++lookUps;
      errno = EACCES;
      return -1;
    }
  } calls;
  {
    platform::ScopedSyscalls scoped(calls);
    gProcError("outer", "");
  }
  EXPECT_GT(calls.lookUps, 1);
  EXPECT_LT(calls.lookUps, 50);
  EXPECT_NE(env.errorLog().find("outer (m_sifter)"), std::string::npos);
}

TEST(WinTempDir, TakesTheFirstVariableNamingAnExistingFolder) {
  TempEnv env;
  RecordingUi ui;
  gblnNoErrDialog = true;
  const fs::path a = env.root() / "a", b = env.root() / "b";
  fs::create_directories(a);
  fs::create_directories(b);
  env.setVar("TEMP", (env.root() / "missing").string());
  env.setVar("TMP", a.string());
  env.setVar("TMPDIR", b.string());
  EXPECT_EQ(gGetWinTempDir(), a.string());
  env.setVar("TMP", std::nullopt);
  EXPECT_EQ(gGetWinTempDir(), b.string());
  env.setVar("TMPDIR", std::nullopt);
  env.setVar("TEMP", std::nullopt);
  EXPECT_EQ(gGetWinTempDir(), "/tmp");
  gblnNoErrDialog = false;
}

TEST(StandardDescriptions, KnownAndUnknownNumbers) {
  EXPECT_EQ(standardDescription(err::Subscript), "インデックスが有効範囲にありません。");
  EXPECT_EQ(standardDescription(err::TypeMismatch), "型が一致しません。");
  EXPECT_EQ(standardDescription(12345), "アプリケーション定義またはオブジェクト定義のエラーです。");
  EXPECT_EQ(errorNumberFromErrno(ENOENT), err::FileNotFound);
  EXPECT_EQ(errorNumberFromErrno(ENOSPC), err::DiskFull);
  EXPECT_EQ(errorNumberFromErrno(EACCES), err::PermissionDenied);
}

}  // namespace
}  // namespace msifter::common
