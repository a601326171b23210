#include "cli/run_command.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

#include "cli/capture_time.h"
#include "cli/folder_arguments.h"
#include "cli/json.h"
#include "cli/progress_line.h"
#include "cli/texts.h"
#include "common/case_mapping.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/time_helpers.h"
#include "platform/directory.h"
#include "platform/syscalls.h"
#include "settings/settings_store.h"

namespace msifter::cli {

using settings::Check;
using settings::Text;

namespace {

constexpr std::array kImageBoxes = {Check::BMP, Check::GIF, Check::TIFF,
                                    Check::JPG, Check::PNG, Check::PCD};

void setCheck(OptionsWindow& window, Check box, const std::optional<bool>& on) {
  if (on) window.setValue(box, *on ? 1 : 0);
}

void setLimit(OptionsWindow& window, Check box, Text text, const std::optional<int64_t>& value) {
  if (!value) return;
  window.setValue(box, 1);
  window.setText(text, std::to_string(*value));
}

// A relative folder made absolute from the folder the command was started
// in: skip-identical counts a file of the run that is not named in the
// destination yet only by its absolute source path.
std::string absoluteFolder(const std::string& folder) {
  if (folder.empty() || folder.front() == '/') return folder;
  std::string cwd(4096, '\0');
  if (platform::syscalls().getcwd(cwd.data(), cwd.size()) == nullptr) return folder;
  cwd.resize(cwd.find('\0'));
  return common::gAddBackslash(cwd) + folder;
}

std::string errorLogHint() {
  std::string path;
  if (!common::gGetErrLogFileName(path)) return "";
  return "詳しくはエラーログ（" + path + "）を見て下さい。";
}

const char* verb(const engine::TransferOptions& options) {
  return options.copyFiles ? "コピー" : "移動";
}

// Names by when a photo or film was taken; a file that cannot be read at
// all takes the present moment (its transfer then says why it fails).
class CaptureStamps final : public engine::StampSource {
 public:
  std::tm stampOf(const std::string& source) override {
    if (const std::optional<CaptureTime> taken = readCaptureTime(source)) return taken->local;
    const std::time_t now = platform::syscalls().now();
    std::tm local{};
    localtime_r(&now, &local);
    return local;
  }
};

// What the search could not look into; the run goes on without it.
std::string notSearchedLine(const engine::NotSearched& gap) {
  const std::string path = "「" + displayPath(gap.path) + "」";
  switch (gap.error) {
    case ELOOP: return path + "はリンクに置き換えられていたため、検索しませんでした。";
    case ENAMETOOLONG: return path + "はパスが長すぎるため、扱えません。";
    default: return path + "を検索できませんでした。" + failureReason(0, gap.error);
  }
}

// The skipped files in the window's summary style.
std::string skippedText(int64_t files) {
  return "   スキップ " + std::to_string(files) + " ファイル";
}

// Everything a run does, as the files complete: told on to the journal,
// counted for the progress line and the summary, kept for --json.
class RunReporter final : public engine::TransferObserver {
 public:
  RunReporter(engine::TransferObserver& journal, ProgressLine& progress, bool keepFiles)
      : journal_(journal), progress_(progress), keepFiles_(keepFiles) {}

  int filesPlanned(const std::vector<engine::TransferIntent>& group) override {
    return journal_.filesPlanned(group);
  }
  int fileRenamed(const engine::TransferIntent& intent) override {
    return journal_.fileRenamed(intent);
  }
  void sourceFileSystem(uint64_t device, const std::string& mountRoot) override {
    journal_.sourceFileSystem(device, mountRoot);
  }
  void filesLeft(const std::vector<engine::TransferIntent>& left) override {
    journal_.filesLeft(left);
  }

  void fileTransferred(const engine::TransferredFile& file) override {
    journal_.fileTransferred(file);
    ++files;
    bytes += file.size;
    if (keepFiles_) {
      transferred.json(JsonObject()
                           .text("source", file.source)
                           .text("destination", file.destination)
                           .number("size", file.size)
                           .str());
    }
    progress_.advance(files + skipped, bytes);
  }

  void fileSkipped(const std::string& source, const std::string& identical) override {
    ++skipped;
    if (keepFiles_)
      skippedFiles.json(JsonObject().text("source", source).text("identical", identical).str());
    progress_.advance(files + skipped, bytes);
  }

  int64_t files = 0;
  int64_t bytes = 0;
  int64_t skipped = 0;
  JsonArray transferred;
  JsonArray skippedFiles;

 private:
  engine::TransferObserver& journal_;
  ProgressLine& progress_;
  bool keepFiles_;
};

int printPlan(const std::vector<engine::PlannedFile>& plan, const engine::TransferOptions& options,
              const RunRequest& request) {
  const std::string folder = common::gAddBackslash(options.receiveDir);
  // The run would stop at a file that finds no free name, or none short
  // enough, as the plan does.
  const bool stops =
      !plan.empty() && (plan.back().action == engine::PlannedFile::Action::NoFreeName ||
                        plan.back().action == engine::PlannedFile::Action::NameTooLong);
  const int status = stops ? kRunFailed : kDone;
  if (request.json) {
    JsonArray files;
    for (const engine::PlannedFile& file : plan) {
      JsonObject entry;
      entry.text("source", file.source);
      if (file.action == engine::PlannedFile::Action::Transfer) {
        entry.text("action", options.copyFiles ? "copy" : "move")
            .text("name", file.name)
            .text("destination", folder + file.name);
      } else if (file.action == engine::PlannedFile::Action::SkipIdentical) {
        entry.text("action", "skip-identical").text("identical", file.name);
      } else if (file.action == engine::PlannedFile::Action::NameTooLong) {
        entry.text("action", "name-too-long");
      } else {
        entry.text("action", "no-free-name");
      }
      files.json(entry.str());
    }
    printLine(JsonObject()
                  .text("command", "run")
                  .flag("dry_run", true)
                  .text("source", options.serverDir)
                  .text("destination", options.receiveDir)
                  .json("files", files.str())
                  .str());
    return status;
  }
  if (request.quiet) return status;
  int64_t skipped = 0;
  for (const engine::PlannedFile& file : plan) {
    std::string target;
    switch (file.action) {
      case engine::PlannedFile::Action::Transfer: target = displayPath(file.name); break;
      case engine::PlannedFile::Action::NoFreeName:
        target = "（空いている名前がありません）";
        break;
      case engine::PlannedFile::Action::NameTooLong: target = kNameTooLongNote; break;
      case engine::PlannedFile::Action::SkipIdentical:
        ++skipped;
        target = "（スキップ：同じ内容の " + displayPath(file.name) + " があります）";
        break;
    }
    printLine(displayPath(file.source) + "  →  " + target);
  }
  const auto planned = static_cast<int64_t>(plan.size()) - skipped - (stops ? 1 : 0);
  printLine("処理予定： " + std::to_string(planned) + " ファイル" +
            (request.skipIdentical ? skippedText(skipped) : "") + "   " + verb(options) + "先 " +
            displayPath(options.receiveDir));
  return status;
}

// Why the file the run stopped at was not transferred.
std::string stopReason(const engine::MoveFailure& failure, const engine::TransferOptions& options) {
  if (failure.unrecorded) {
    return "実行の記録（" + displayPath(engine::journalFolder()) +
           "）に書き込めないため、ここで止めました。" +
           failureReason(failure.number, failure.error);
  }
  if (failure.copyKept && failure.error == ENOENT) {
    return "移動の途中で移動元のファイルがなくなりました（ほかのプログラムが移動したか、削除したの"
           "かもしれません）。" +
           std::string(verb(options)) + "先のコピーは残してあります。";
  }
  std::string reason = failureReason(failure.number, failure.error);
  if (failure.copyKept) reason += "移動先のコピーも残してあります。";
  return reason;
}

// Where the files after the one the run stopped at are: said only as far
// as a look at them found it so.
std::string restText(const engine::TransferOptions& options, const engine::LeftCounts& left) {
  if (options.copyFiles) return "残りのファイルはコピーしていません。";
  if (left.unclear == 0 && left.pending == 0)
    return "残りのファイルは移動元にそのまま残っています。";
  std::string text;
  if (left.unclear > 0) {
    text +=
        std::to_string(left.unclear) +
        " ファイルは移動元と移動先の両方にあるか、どちらにも見つからないため、そのままにしました。";
  }
  if (left.pending > 0) {
    text += std::to_string(left.pending) +
            " ファイルは移動元のフォルダが見つからないため、どこにあるか確かめられませんでした。";
  }
  return text + "ほかのファイルは移動元にそのまま残っています。";
}

void reportFailure(const engine::MoveFailure& failure, const engine::TransferOptions& options,
                   const engine::RunJournal& journal) {
  std::string where;
  if (failure.path.empty()) {
    where = std::string(verb(options)) + "の途中で失敗しました。";
  } else if (failure.path == options.receiveDir) {
    where = std::string(verb(options)) + "先のフォルダ「" + displayPath(failure.path) + "」に" +
            verb(options) + "できませんでした。";
  } else {
    where = "「" + displayPath(failure.path) + "」を" + verb(options) + "できませんでした。";
  }
  std::string text = where + stopReason(failure, options) + "\nそれまでに " +
                     std::to_string(journal.files()) + " ファイルを" + verb(options) +
                     "しました。" + restText(options, journal.left());
  if (!journal.id().empty() && journal.files() > 0)
    text += "\n取り消すには: m_sifter-cli undo " + journal.id();
  std::fprintf(stderr, "%s\n%s\n", text.c_str(), errorLogHint().c_str());
}

// A run that cannot keep its journal does not start; neither does one over
// a source that another run is working on.
int reportUnstarted(const engine::RunJournal& journal, int error,
                    const engine::TransferOptions& options) {
  if (error == EBUSY) {
    const engine::RunSummary& other = journal.busyWith();
    std::fprintf(stderr,
                 "移動元のフォルダ「%s」は、別の実行（%s、移動元「%s」）が処理しています。"
                 "その実行が終わってから、もう一度実行して下さい。\n",
                 displayPath(options.serverDir).c_str(), displayPath(other.id).c_str(),
                 displayPath(other.options.serverDir).c_str());
  } else {
    std::fprintf(stderr, "実行の記録（%s）を作成できないため、何も%sしませんでした。%s\n",
                 displayPath(engine::journalFolder()).c_str(), verb(options),
                 failureReason(0, error).c_str());
  }
  return kRunFailed;
}

// The run's options as the window would take them, or the exit status of a
// run that cannot start.
std::optional<int> takeOptions(const RunRequest& request, engine::TransferOptions& options) {
  if (!common::gMsgInit(common::messageDatabasePath(), common::kMsgPassword)) {
    std::fprintf(stderr, "必要とするメッセージデータベースが開けません。\n");
    common::gProcError("Main", "必要とするメッセージマスタデータベースが開けません。");
    return kRunFailed;
  }
  OptionsWindow window;
  fillWindow(window, request);
  if (!settings::gChkSettingData(window) || !foldersAreFolders(window)) return kUsageError;
  try {
    options = window.snapshot();
  } catch (const common::RuntimeFailure& e) {
    std::fprintf(stderr, "設定された数値が大きすぎます: %s\n", e.what());
    return kUsageError;
  }
  // A capture time names nothing under serial numbers: said, not ignored.
  if (request.stamp == StampChoice::Capture &&
      options.renameMethod == engine::RenameMethod::SerialNumber) {
    std::fprintf(
        stderr,
        "--stamp=capture は日時の名前にだけ使えます。連番（--serial）と一緒には使えません。\n");
    return kUsageError;
  }
  options.serverDir = absoluteFolder(options.serverDir);
  options.receiveDir = absoluteFolder(options.receiveDir);
  // Told by identity: "photos", "photos/" and a link to it are one folder.
  platform::FileIdentity source, destination;
  if (platform::identityOf(options.serverDir, source).ok() &&
      platform::identityOf(options.receiveDir, destination).ok() && source == destination) {
    std::fprintf(stderr, "移動元と移動先に同じフォルダは指定できません。\n");
    return kUsageError;
  }

  return std::nullopt;
}

// The result on standard output: JSON, or the window's summary line.
void printResult(const RunRequest& request, const engine::TransferOptions& options,
                 const RunReporter& reporter, const engine::RunJournal& journal, bool moved,
                 const engine::MoveFailure& failure, int64_t seconds) {
  const int64_t files = journal.id().empty() ? reporter.files : journal.files();
  if (request.json) {
    JsonObject result;
    result.text("command", "run")
        .flag("dry_run", false)
        .text("status", moved ? "done" : "failed")
        .text("run", journal.id())
        .text("source", options.serverDir)
        .text("destination", options.receiveDir)
        .flag("copy", options.copyFiles)
        .number("files", files)
        .number("bytes", reporter.bytes)
        .number("skipped", reporter.skipped)
        .number("seconds", seconds)
        .json("transferred", reporter.transferred.str())
        .json("skipped_files", reporter.skippedFiles.str());
    if (!moved) {
      result.json("error", JsonObject()
                               .text("path", failure.path)
                               .text("message", stopReason(failure, options))
                               .str());
    }
    printLine(result.str());
  } else if (moved && !request.quiet) {
    printLine(engine::formatSummary(static_cast<int32_t>(files), reporter.bytes, seconds) +
              (request.skipIdentical ? skippedText(reporter.skipped) : ""));
  }
}

}  // namespace

std::optional<Check> imageTypeBox(std::string name) {
  name = common::lowerCase(name);
  static const std::pair<const char*, Check> names[] = {
      {"bmp", Check::BMP}, {"gif", Check::GIF},   {"jpg", Check::JPG},  {"jpeg", Check::JPG},
      {"png", Check::PNG}, {"tiff", Check::TIFF}, {"tif", Check::TIFF}, {"pcd", Check::PCD}};
  for (const auto& [text, box] : names) {
    if (name == text) return box;
  }
  return std::nullopt;
}

void fillWindow(OptionsWindow& window, const RunRequest& request) {
  if (request.fromSettings) {
    // As the window loads: a store that cannot be read says so, and the
    // window keeps what it could fill.
    settings::gDspSettingData(window);
    settings::gDspSettingData2(window);
  }
  if (!request.source.empty()) window.setCaption(settings::FolderLabel::ServerDir, request.source);
  if (!request.destination.empty())
    window.setCaption(settings::FolderLabel::ReceiveDir, request.destination);

  if (request.all || request.images || request.other) {
    for (const Check box : {Check::AllFile, Check::Graphics, Check::Other}) window.setValue(box, 0);
    for (const Check box : kImageBoxes) window.setValue(box, 0);
    window.setValue(Check::AllFile, request.all ? 1 : 0);
    if (request.images) {
      window.setValue(Check::Graphics, 1);
      for (const std::string& name : common::splitAt(*request.images, ",")) {
        if (const std::optional<Check> box = imageTypeBox(name)) window.setValue(*box, 1);
      }
    }
    if (request.other) {
      window.setValue(Check::Other, 1);
      window.setText(Text::Other, *request.other);
    }
    // As after a click on a file-type box.
    settings::gDspSettingData2(window);
  }
  setCheck(window, Check::SubFolder, request.subfolders);
  setCheck(window, Check::Copy, request.copy);
  setCheck(window, Check::Slowly, request.slow);
  setCheck(window, Check::ExtFix, request.fixExt);
  if (request.serial)
    window.select(*request.serial ? settings::Option::SerialNum : settings::Option::DateNum);
  setLimit(window, Check::LimitMinSize, Text::LimitMinSize, request.minKb);
  setLimit(window, Check::LimitMaxSize, Text::LimitMaxSize, request.maxKb);
  setLimit(window, Check::LimitCount, Text::LimitCount, request.limit);
}

int runTransfer(const RunRequest& request) {
  engine::TransferOptions options;
  if (const std::optional<int> status = takeOptions(request, options)) return *status;
  engine::runState() = engine::RunState{};
  engine::runState().lastExecute = common::localDateTimeText();
  ProgressLine progress(!request.quiet && ::isatty(STDERR_FILENO) == 1);
  const int64_t start = engine::gGetTickCount();
  std::vector<std::string> found;
  std::vector<int64_t> foundSizes;
  engine::FindRequest search = engine::transferSearch(options, &found, &progress);
  search.resultSizes = &foundSizes;
  std::vector<engine::FoundFile> foundFiles;
  search.resultFiles = &foundFiles;
  std::vector<engine::NotSearched> notSearched;
  search.notSearched = &notSearched;
  engine::FindTotals totals;
  const bool searched = engine::findFiles(search, totals);
  if (!notSearched.empty()) progress.clear();
  for (const engine::NotSearched& gap : notSearched)
    std::fprintf(stderr, "%s\n", notSearchedLine(gap).c_str());
  if (!searched) {
    progress.clear();
    std::fprintf(stderr, "移動元のフォルダ「%s」を検索できませんでした。%s\n",
                 displayPath(options.serverDir).c_str(), errorLogHint().c_str());
    return kRunFailed;
  }

  CaptureStamps captureStamps;
  const engine::MoveExtras planExtras{
      .stamps = request.stamp == StampChoice::Capture ? &captureStamps : nullptr,
      .skipIdentical = request.skipIdentical,
      .sourceSizes = &foundSizes,
      .sourceFiles = &foundFiles};
  if (request.dryRun) {
    progress.clear();
    std::vector<engine::PlannedFile> plan;
    if (!engine::planTransfers(found, options, planExtras, plan)) {
      std::fprintf(stderr, "予定を立てられませんでした。%s\n", errorLogHint().c_str());
      return kRunFailed;
    }
    return printPlan(plan, options, request);
  }

  engine::RunJournal journal;
  if (!found.empty()) {
    if (const int e = journal.begin(options)) {
      progress.clear();
      return reportUnstarted(journal, e, options);
    }
  }
  RunReporter reporter(journal, progress, request.json);
  progress.start(totals.fileCount, totals.byteTotal);
  engine::MoveFailure failure;
  engine::MoveExtras extras = planExtras;
  extras.observer = &reporter;
  const bool moved = engine::mMoveFile(found, options, extras, &failure);
  // Done only once the journal says so on disk.
  const int recorded = journal.finish(moved);
  const int64_t seconds = std::max<int64_t>(0, (engine::gGetTickCount() - start) / 1000);
  progress.clear();

  if (!moved) reportFailure(failure, options, journal);
  if (moved && recorded != 0) {
    std::fprintf(
        stderr, "すべてのファイルを%sしましたが、実行の記録（%s）を書き終えられませんでした。%s\n",
        verb(options), displayPath(journal.path()).c_str(), failureReason(0, recorded).c_str());
  }
  const bool done = moved && recorded == 0;
  printResult(request, options, reporter, journal, done, failure, seconds);
  return done ? kDone : kRunFailed;
}

}  // namespace msifter::cli
