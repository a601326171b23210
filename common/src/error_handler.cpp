#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "common/app.h"
#include "common/error.h"
#include "common/thread_owner.h"
#include "common/ui_services.h"
#include "log_file.h"
#include "system_probe.h"

namespace msifter::common {

bool gblnNoErrDialog = false;

namespace {

constexpr int32_t kHkeyLocalMachine = static_cast<int32_t>(0x80000002u);
constexpr const char* kCantGet = "Can'tGet";
constexpr const char* kCrLf = "\r\n";

std::string defaultProbeReader(int32_t, const std::string&, const std::string&,
                               const std::string& defaultValue) {
  return defaultValue;
}

ProbeReader probeReader = &defaultProbeReader;

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

std::string localTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &parts);
  return buf;
}

bool folderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

void setProbeReader(ProbeReader reader) { probeReader = reader ? reader : &defaultProbeReader; }

std::string gAddBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != kPathSeparator[0]) result += kPathSeparator;
  return result;
}

std::string gGetLongFileName(const std::string& path) {
  return guardLog("gGetLongFileName", path, [&] {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      // A failed look-up raises no failure of its own; the report says 0.
      gProcError("gGetLongFileName", "");
    }
    return path;
  });
}

std::string gGetWinTempDir() {
  return guardLog("gGetWinTempDir", std::string(), [] {
    std::string folder;
    for (const char* name : {"TEMP", "TMP", "TMPDIR"}) {
      const char* value = std::getenv(name);
      if (value && folderExists(value)) {
        folder = value;
        break;
      }
    }
    if (folder.empty()) folder = folderExists("/tmp") ? "/tmp" : applicationFolder();
    return gGetLongFileName(folder);
  });
}

bool gGetWinVersion(std::string& platformText, std::string& major, std::string& minor,
                    std::string& build, std::string& servicePack, std::string& subVersionNumber,
                    std::string& versionText) {
  return guardLog("gGetWinVersion", false, [&] {
    detail::PlatformVersion version;
    if (!detail::readPlatformVersion(version)) fail(err::Automation);
    platformText = version.family;
    major = std::to_string(version.major);
    minor = std::to_string(version.minor);
    build = std::to_string(version.build);
    servicePack = version.servicePack;
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    subVersionNumber = probeReader(kHkeyLocalMachine, key, "SubVersionNumber", kCantGet);
    versionText = probeReader(kHkeyLocalMachine, key, "Version", kCantGet);
    return true;
  });
}

bool gGetIeVersion(std::string& version, std::string& build, std::string& versionVectorIE) {
  return guardLog("gGetIeVersion", false, [&] {
    const std::string key = "SOFTWARE\\Microsoft\\Internet Explorer";
    version = probeReader(kHkeyLocalMachine, key, "Version", kCantGet);
    build = probeReader(kHkeyLocalMachine, key, "Build", kCantGet);
    versionVectorIE = probeReader(kHkeyLocalMachine, key + "\\Version Vector", "IE", kCantGet);
    return true;
  });
}

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
    return detail::appendToOwnFile(path, kCrLf + text + kCrLf + trailer + kCrLf);
  } catch (...) {
    return false;
  }
}

bool gDspErrLog() {
  std::string path;
  if (!gGetErrLogFileName(path)) return false;
  try {
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
  line("アプリケーションヴァージョン：" + versionText());
  if (!detailText.empty()) line(detailText);
  // Only the number survives: the rest of the record is the number's own.
  raiseError(saved);
  const ErrorRecord& error = currentError();
  line("エラー番号：" + std::to_string(error.number));
  line(std::string(procName) + " (" + error.source + ")でエラーが発生しました。");
  line("管理者に問い合わせて下さい｡");
  line("エラー内容：" + error.description);
  line("発生日時：" + localTimestamp());
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
