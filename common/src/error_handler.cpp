// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>

#include "common/app.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "common/paths.h"
#include "common/system_probes.h"
#include "common/thread_owner.h"
#include "common/ui_services.h"
#include "common/version.h"
#include "platform/file_system.h"

namespace msifter::common {

bool gblnNoErrDialog = false;

namespace {

constexpr const char* kCrLf = "\r\n";

// A report whose own log path keeps failing would report again and again;
// one nested report is allowed (a failing probe), deeper ones are dropped.
int reportDepth = 0;
constexpr int kMaxReportDepth = 2;

ThreadOwner& reportDepthOwner() {
  static ThreadOwner owner("the report depth");
  return owner;
}

// Holds the depth and CurrentError for one report, nested reports included.
struct DepthGuard {
  ThreadHold depthHeld{reportDepthOwner()};
  ThreadHold errorHeld{detail::currentErrorOwner()};
  DepthGuard() { ++reportDepth; }
  ~DepthGuard() { --reportDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

// One step of the handler: a failing step is skipped, never propagated.
template <class F>
void attempt(F&& step) {
  try {
    step();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
  }
}

}  // namespace

bool gGetErrLogFileName(std::string& path) {
  try {
    const std::string folder = gGetWinTempDir();
    if (folder.empty()) return false;
    path = gAddBackslash(folder) + kAppTitle + "_ErrLog.txt";
    return true;
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    return false;
  }
}

bool gSetErrLog(const std::string& text, const std::string& trailer) {
  std::string path;
  if (!gGetErrLogFileName(path)) return false;
  try {
    return platform::appendToOwnFile(path, kCrLf + text + kCrLf + trailer + kCrLf).ok();
  } catch (...) {
    return false;
  }
}

bool gDspErrLog() {
  std::string path;
  if (!gGetErrLogFileName(path)) return false;
  try {
    // Another user's file (or a link) at the log's name never took a report.
    if (!platform::isOwnFile(path)) return false;
    return ui().shellExecute(path, show::Minimized);
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    return false;
  }
}

std::string buildErrorReport(std::string_view procName, std::string_view detailText) {
  const int32_t saved = currentError().number;
  std::string platform, major, minor, build, servicePack, unusedSub, unusedVersion;
  std::string ieVersion, unusedBuild, unusedVector;
  attempt([&] {
    gGetWinVersion(platform, major, minor, build, servicePack, unusedSub, unusedVersion);
  });
  attempt([&] { gGetIeVersion(ieVersion, unusedBuild, unusedVector); });

  std::string report;
  const auto line = [&report](std::string_view text) {
    report += text;
    report += kCrLf;
  };
  line(std::string("アプリケーション名：") + kAppTitle);
  line(std::string("アプリケーションヴァージョン：") + kVersionText);
  if (!detailText.empty()) line(detailText);
  // Only the number survives: the rest of the record is the number's own.
  raiseError(saved);
  const ErrorRecord& error = currentError();
  line("エラー番号：" + std::to_string(error.number));
  line(std::string(procName) + " (" + error.source + ")でエラーが発生しました。");
  line("管理者に問い合わせて下さい｡");
  line("エラー内容：" + error.description);
  std::string now;
  attempt([&] { now = localDateTimeText(); });
  line("発生日時：" + now);
  line("WINTYPE：");
  line("\tVersion：" + platform);
  line("\tMajor：" + major);
  line("\tMinor：" + minor);
  line("\tBuild：" + build);
  line("\tSubVersion：" + servicePack);
  line("IeTYPE：");
  line("\tVersion：" + ieVersion);
  return report;
}

void gProcError(std::string_view procName, std::string_view detailText) {
  reportDepthOwner().touch();
  if (reportDepth >= kMaxReportDepth) {
    clearError();
    return;
  }
  DepthGuard depth;
  std::string report;
  attempt([&] { report = buildErrorReport(procName, detailText); });
  if (!gblnNoErrDialog) {
    attempt([&] { ui().messageBox(report, mb::OkOnly, "ｴﾗｰ"); });
  }
  attempt([&] { gSetErrLog(report, ""); });
  clearError();
}

void gProcFatalError(std::string_view procName, std::string_view detailText) {
  attempt([] {
    ui().messageBox(
        std::string("致命的エラーが発生しました。") + kCrLf + "このアプリケーションを終了します。",
        mb::OkOnly | mb::Critical, kAppTitle);
  });
  gProcError(procName, detailText);
  attempt([] {
    if (gDspErrLog()) {
      ui().messageBox(std::string("エラーログに関するお問い合わせ・ご報告は") + kCrLf +
                          "説明書に記載しております。",
                      mb::OkOnly | mb::Information, kAppTitle);
    } else {
      ui().messageBox("エラーログが表示できませんでした。", mb::OkOnly | mb::Information,
                      kAppTitle);
    }
  });
  attempt([] { ui().endProcessing(); });
  ui().endProgram(1);
  // endProgram never returns; should an implementation do so, the program
  // must still not go on after a fatal failure.
  std::_Exit(1);
}

}  // namespace msifter::common
