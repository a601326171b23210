// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/capture_time.h"
#include "cli/folder_arguments.h"
#include "cli/json.h"
#include "cli/json_keys.h"
#include "cli/plan_output.h"
#include "cli/progress_line.h"
#include "cli/texts.h"
#include "common/case_mapping.h"
#include "common/error_log.h"
#include "common/failure.h"
#include "common/local_time.h"
#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "engine/run.h"
#include "engine/time_helpers.h"
#include "media/capture_stamps.h"
#include "options/option_table.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/transfer_meter.h"
#include "settings/settings_store.h"

namespace msifter::cli {

using options::RunOptions;

namespace {

// A relative folder made absolute from the folder the command was started
// in: skip-identical counts a file of the run that is not named in the
// destination yet only by its absolute source path.
std::string absoluteFolder(const std::string& folder) {
  if (folder.empty() || folder.front() == '/') return folder;
  const std::string cwd = platform::currentFolder();
  return cwd.empty() ? folder : common::gAddBackslash(cwd) + folder;
}

std::string errorLogHint() {
  std::string path;
  if (!common::gGetErrLogFileName(path)) return "";
  return "詳しくはエラーログ（" + path + "）を見て下さい。";
}

const char* verb(const RunOptions& options) { return options.copyFiles ? "コピー" : "移動"; }
const char* operationWord(bool copy) { return copy ? "copy" : "move"; }

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

// Everything a run tells as it goes: shown on the progress line, counted
// for the summary, kept for --json.
class RunReporter final : public engine::RunObserver {
 public:
  RunReporter(ProgressLine& progress, bool keepFiles, PlanOutput* plan)
      : progress_(progress), keepFiles_(keepFiles), plan_(plan) {}

  void folderEntered(const std::string& folder) override { progress_.setCaption(folder); }
  void notSearched(const engine::NotSearched& gap) override {
    progress_.clear();
    std::fprintf(stderr, "%s\n", notSearchedLine(gap).c_str());
  }
  void transferStarting(int64_t allFiles, int64_t allBytes) override {
    progress_.start(allFiles, allBytes, &meter);
  }

  void fileTransferred(const engine::TransferredFile& file) override {
    ++files;
    bytes += file.size;
    if (keepFiles_) {
      const std::string item =
          JsonObject()
              .text(key::Source, file.source)
              .text(key::Destination, file.destination)
              .number("size", file.size)
              .text(key::Operation,
                    operationWord(file.kind == engine::TransferredFile::Kind::Copied))
              .text(key::Status, "done")
              .number(key::Bytes, file.size)
              .str();
      transferred.json(item);
      items.json(item);
    }
    progress_.advance(files + skipped, bytes);
  }

  void fileSkipped(const std::string& source, const std::string& identical) override {
    ++skipped;
    if (keepFiles_) {
      const std::string item = JsonObject()
                                   .text(key::Source, source)
                                   .text(key::Identical, identical)
                                   .text(key::Status, "skipped")
                                   .str();
      skippedFiles.json(item);
      items.json(item);
    }
    progress_.advance(files + skipped, bytes);
  }

  void filePreviewed(const engine::PlannedFile& file) override {
    if (plan_ != nullptr) plan_->file(file);
  }
  bool takesPlan() const override { return plan_ != nullptr; }

  int64_t files = 0;
  int64_t bytes = 0;
  int64_t skipped = 0;
  int64_t started = platform::now();
  // Advanced by the copies of the run's thread, chunk by chunk.
  platform::TransferMeter meter;
  JsonArray transferred;
  JsonArray skippedFiles;
  JsonArray items;  // both, in the order they were told

 private:
  ProgressLine& progress_;
  bool keepFiles_;
  PlanOutput* plan_;
};

// Why the file the run stopped at was not transferred.
std::string stopReason(const engine::MoveFailure& failure, const RunOptions& options) {
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
std::string restText(const RunOptions& options, const engine::LeftCounts& left) {
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

void reportFailure(const engine::RunResult& result, const RunOptions& options) {
  const engine::MoveFailure& failure = result.failure;
  std::string where;
  if (failure.folder && (failure.error == ELOOP || failure.error == ENOTDIR)) {
    where = folderRefusedText(failure.path) + "。ここで止めました。";
  } else if (failure.folder) {
    where = "移動先の中のフォルダ「" + displayPath(failure.path) + "」を作れませんでした。" +
            failureReason(failure.number, failure.error);
  } else if (failure.path.empty()) {
    where = std::string(verb(options)) + "の途中で失敗しました。";
  } else if (failure.backup) {
    where =
        failure.path == options.backupDir
            ? "バックアップ先のフォルダ「" + displayPath(failure.path) + "」を開けませんでした。"
            : "「" + displayPath(failure.path) + "」をバックアップ先のフォルダ「" +
                  displayPath(options.backupDir) + "」にコピーできませんでした。";
  } else if (failure.path == options.receiveDir) {
    where = std::string(verb(options)) + "先のフォルダ「" + displayPath(failure.path) + "」に" +
            verb(options) + "できませんでした。";
  } else {
    where = "「" + displayPath(failure.path) + "」を" + verb(options) + "できませんでした。";
  }
  std::string text = where + (failure.folder ? "" : stopReason(failure, options)) +
                     "\nそれまでに " + std::to_string(result.journalFiles) + " ファイルを" +
                     verb(options) + "しました。" + restText(options, result.left);
  if (!result.journalId.empty() && result.journalFiles > 0)
    text += "\n取り消すには: m_sifter-cli undo " + result.journalId;
  std::fprintf(stderr, "%s\n%s\n", text.c_str(), errorLogHint().c_str());
}

// A run that cannot keep its journal does not start; neither does one over
// a source that another run is working on.
int reportUnstarted(const engine::RunResult& result, const RunOptions& options) {
  if (result.journalError == EBUSY) {
    const engine::RunSummary& other = result.busyWith;
    std::fprintf(stderr,
                 "移動元のフォルダ「%s」は、別の実行（%s、移動元「%s」）が処理しています。"
                 "その実行が終わってから、もう一度実行して下さい。\n",
                 displayPath(options.serverDir).c_str(), displayPath(other.id).c_str(),
                 displayPath(other.options.serverDir).c_str());
  } else {
    std::fprintf(stderr, "実行の記録（%s）を作成できないため、何も%sしませんでした。%s\n",
                 displayPath(engine::journalFolder()).c_str(), verb(options),
                 failureReason(0, result.journalError).c_str());
  }
  return kRunFailed;
}

// The options that mend a problem the window's check found, where the
// window's words name a control the command line does not have.
std::string problemHint(const RunOptions& options, const options::OptionProblem& problem) {
  const options::OptionRow* row = options::rowWithProblem(options, problem);
  if (row == nullptr) return "";
  if (row->group != nullptr) {
    std::string flags;
    for (const options::OptionRow& other : options::optionTable()) {
      if (other.group != nullptr && std::string_view(other.group) == row->group && other.flag)
        flags += (flags.empty() ? "" : "、") + std::string(other.flag);
    }
    return "対象にするファイルを " + flags + " のどれかで指定して下さい。";
  }
  if (problem.code == msgcode::CaptureOnly) {
    return options::optionRow("stamp")->flag + std::string("=") +
           options::choiceRow(options::StampChoice::Capture).word + " と一緒に指定して下さい。";
  }
  return "";
}

// The run's options as the window would take them, or the exit status of a
// run that cannot start.
std::optional<int> takeOptions(const RunRequest& request, RunOptions& options) {
  if (!common::gMsgInit(common::messageDatabasePath(), common::kMsgPassword)) {
    std::fprintf(stderr, "必要とするメッセージデータベースが開けません。\n");
    common::gProcError("Main", "必要とするメッセージマスタデータベースが開けません。");
    return kRunFailed;
  }
  options = requestedOptions(request);
  // The window's check, in its words, and how the command line mends it.
  if (const auto problem = options::checkRunOptions(options)) {
    common::gDispMsg(problem->code, problem->callerText);
    if (const std::string hint = problemHint(options, *problem); !hint.empty())
      std::fprintf(stderr, "%s\n", hint.c_str());
    return kUsageError;
  }
  if (!foldersAreFolders(options)) return kUsageError;
  // A capture time names nothing under serial numbers: said, not ignored.
  if (options.stamp == options::StampChoice::Capture &&
      options.renameMethod == options::RenameMethod::SerialNumber) {
    std::fprintf(
        stderr,
        "--stamp=capture は日時の名前にだけ使えます。連番（--serial）と一緒には使えません。\n");
    return kUsageError;
  }
  options.serverDir = absoluteFolder(options.serverDir);
  options.receiveDir = absoluteFolder(options.receiveDir);
  if (!options.backupDir.empty()) options.backupDir = absoluteFolder(options.backupDir);
  // Told by identity: "photos", "photos/" and a link to it are one folder.
  platform::FileIdentity source, destination;
  if (platform::identityOf(options.serverDir, source).ok() &&
      platform::identityOf(options.receiveDir, destination).ok() && source.sameFile(destination)) {
    std::fprintf(stderr, "移動元と移動先に同じフォルダは指定できません。\n");
    return kUsageError;
  }

  return std::nullopt;
}

// The result on standard output: JSON, or the window's summary line.
void printResult(const RunRequest& request, const RunOptions& options, const RunReporter& reporter,
                 const engine::RunResult& result, bool done, int64_t seconds) {
  const int64_t files = result.journalId.empty() ? reporter.files : result.journalFiles;
  if (request.json) {
    JsonObject json;
    json.text(key::Command, "run")
        .flag(key::DryRun, false)
        .text(key::Status, done ? "done" : "failed")
        .text(key::Run, result.journalId)
        .text(key::Started, isoTime(reporter.started))
        .text(key::Finished, isoTime(platform::now()))
        .text(key::Operation, operationWord(options.copyFiles))
        .text(key::Source, options.serverDir)
        .text(key::Destination, options.receiveDir)
        .flag("copy", options.copyFiles)
        .number(key::Files, files)
        .number(key::Bytes, reporter.bytes)
        .number(key::Skipped, reporter.skipped)
        .number("seconds", seconds)
        .json(key::Options, optionsJson(result.snapshot).str())
        .json("transferred", reporter.transferred.str())
        .json("skipped_files", reporter.skippedFiles.str())
        .json(key::Items, reporter.items.str());
    if (!done) {
      json.json(key::Error, JsonObject()
                                .text(key::Code, result.failure.unrecorded ? "journal" : "transfer")
                                .text("path", result.failure.path)
                                .text(key::Message, stopReason(result.failure, options))
                                .str());
    }
    printLine(json.str());
  } else if (done && !request.quiet) {
    printLine(engine::formatSummary(static_cast<int32_t>(files), reporter.bytes, seconds) +
              (options.skipIdentical ? skippedText(reporter.skipped) : ""));
  }
}

// What a run that got under way says and exits with.
int reportRun(const RunRequest& request, const RunOptions& options, const RunReporter& reporter,
              const engine::RunResult& result, int64_t seconds) {
  const bool moved = result.stage == engine::RunStage::Done;
  if (!moved) reportFailure(result, options);
  if (moved && result.journalError != 0) {
    std::fprintf(stderr,
                 "すべてのファイルを%sしましたが、実行の記録（%s）を書き終えられませんでした。%s\n",
                 verb(options), displayPath(result.journalPath).c_str(),
                 failureReason(0, result.journalError).c_str());
  }
  const bool done = moved && result.journalError == 0;
  printResult(request, options, reporter, result, done, seconds);
  return done ? kDone : kRunFailed;
}

}  // namespace

RunOptions requestedOptions(const RunRequest& request) {
  RunOptions options = request.fromSettings ? settings::savedRunOptions() : RunOptions{};
  std::set<std::string_view> groups;
  const auto given = [&](const options::OptionRow& row) {
    return std::find(request.givenRows.begin(), request.givenRows.end(), row.name) !=
           request.givenRows.end();
  };
  for (const options::OptionRow& row : options::optionTable()) {
    if (row.group != nullptr && given(row)) groups.insert(row.group);
  }
  for (const options::OptionRow& row : options::optionTable()) {
    if (given(row) || (row.group != nullptr && groups.contains(row.group)))
      options::copyOption(row, request.given, options);
  }
  return options;
}

int runCommand(const RunRequest& request) {
  RunOptions options;
  if (const std::optional<int> status = takeOptions(request, options)) return *status;
  // A preview's lines on the terminal show its progress themselves.
  const bool linesShown = options.dryRun && platform::standardOutputIsTerminal();
  ProgressLine progress(!request.quiet && !linesShown && platform::standardErrorIsTerminal());
  PlanOutput plan(options, request);
  RunReporter reporter(progress, request.json, options.dryRun ? &plan : nullptr);
  media::CaptureStamps captureStamps(options);
  const int64_t start = engine::gGetTickCount();
  engine::RunResult result;
  {
    const platform::MeteredCopies metered(reporter.meter);
    result = engine::runTransfer(options, reporter, &captureStamps);
  }
  const int64_t seconds = std::max<int64_t>(0, (engine::gGetTickCount() - start) / 1000);
  progress.clear();
  switch (result.stage) {
    case engine::RunStage::NoTargets:
    case engine::RunStage::SearchFailed: {
      const std::string text =
          "移動元のフォルダ「" + displayPath(options.serverDir) + "」を検索できませんでした。";
      plan.abandon(text);
      std::fprintf(stderr, "%s%s\n", text.c_str(), errorLogHint().c_str());
      return kRunFailed;
    }
    case engine::RunStage::PlanFailed:
      plan.abandon("予定を立てられませんでした。");
      std::fprintf(stderr, "予定を立てられませんでした。%s\n", errorLogHint().c_str());
      return kRunFailed;
    case engine::RunStage::Planned: return plan.finish(result.snapshot);
    case engine::RunStage::NotStarted: return reportUnstarted(result, options);
    case engine::RunStage::Failed:
    case engine::RunStage::Done: break;
  }
  return reportRun(request, options, reporter, result, seconds);
}

}  // namespace msifter::cli
