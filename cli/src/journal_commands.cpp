#include "cli/journal_commands.h"

#include <cstdio>
#include <ctime>

#include "cli/json.h"
#include "cli/run_command.h"
#include "cli/texts.h"
#include "engine/journal.h"
#include "engine/run_words.h"
#include "engine/undo.h"
#include "platform/clock.h"

namespace msifter::cli {

using engine::UndoOutcome;

namespace {

std::string startedText(int64_t seconds) {
  std::tm local{};
  if (!platform::localTime(static_cast<std::time_t>(seconds), local)) return "?";
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local));
}

// The keys --json gives how a run ended and how much of it was undone; the
// words beside them are the engine's (engine/run_words.h).
struct RunKeys {
  const char* end;
  const char* undo;
};

RunKeys keys(const engine::RunSummary& run) {
  RunKeys k{};
  if (run.inUse) {
    k.end = "running";
  } else if (run.end == engine::RunEnd::Completed) {
    k.end = "completed";
  } else if (run.end == engine::RunEnd::Failed) {
    k.end = "failed";
  } else if (run.end == engine::RunEnd::Interrupted) {
    k.end = "interrupted";
  } else {
    k.end = "unfinished";
  }
  switch (run.undoState()) {
    case engine::UndoState::NotUndone: k.undo = "not-undone"; break;
    case engine::UndoState::PartlyUndone: k.undo = "partly-undone"; break;
    case engine::UndoState::Undone: k.undo = "undone"; break;
  }
  return k;
}

const char* outcomeKey(UndoOutcome outcome) {
  switch (outcome) {
    case UndoOutcome::Undone: return "undone";
    case UndoOutcome::WouldUndo: return "would-undo";
    case UndoOutcome::AlreadyUndone: return "already-undone";
    case UndoOutcome::Missing: return "missing";
    case UndoOutcome::Changed: return "changed";
    case UndoOutcome::NameTaken: return "name-taken";
    case UndoOutcome::FolderMissing: return "folder-missing";
    case UndoOutcome::OriginalMissing: return "original-missing";
    case UndoOutcome::Outside: return "outside";
    case UndoOutcome::Failed: break;
  }
  return "failed";
}

bool refused(UndoOutcome outcome) {
  return outcome != UndoOutcome::Undone && outcome != UndoOutcome::WouldUndo &&
         outcome != UndoOutcome::AlreadyUndone;
}

// Why the run could not be looked at; the exit status to go with it.
int reportStatus(const engine::UndoReport& report, const std::string& runId) {
  const std::string name = runId.empty() ? report.run.id : runId;
  switch (report.status) {
    case engine::UndoStatus::Done: return kDone;
    case engine::UndoStatus::NoRuns:
      std::fprintf(stderr, "取り消せる実行の記録がありません。\n");
      return kRunFailed;
    case engine::UndoStatus::NoSuchRun:
      std::fprintf(stderr,
                   "実行「%s」の記録はありません（m_sifter-cli history で一覧できます）。\n",
                   displayPath(name).c_str());
      return kUsageError;
    case engine::UndoStatus::InUse:
      std::fprintf(stderr, "実行「%s」は実行中か、ほかで取り消しの最中です。\n",
                   displayPath(name).c_str());
      return kRunFailed;
    case engine::UndoStatus::Unreadable:
      std::fprintf(stderr, "実行「%s」の記録を読めません。%s\n", displayPath(name).c_str(),
                   failureReason(0, report.error).c_str());
      return kRunFailed;
  }
  return kRunFailed;
}

const char* statusKey(engine::UndoStatus status) {
  switch (status) {
    case engine::UndoStatus::Done: return "done";
    case engine::UndoStatus::NoRuns: return "no-runs";
    case engine::UndoStatus::NoSuchRun: return "no-such-run";
    case engine::UndoStatus::InUse: return "in-use";
    case engine::UndoStatus::Unreadable: break;
  }
  return "unreadable";
}

}  // namespace

int showHistory(const OutputChoice& output) {
  const std::vector<engine::RunSummary> runs = engine::listRuns();
  if (output.json) {
    JsonArray list;
    for (const engine::RunSummary& run : runs) {
      const RunKeys k = keys(run);
      list.json(JsonObject()
                    .text("run", run.id)
                    .text("started", startedText(run.startedSeconds))
                    .text("operation", run.options.copyFiles ? "copy" : "move")
                    .text("source", run.options.serverDir)
                    .text("destination", run.options.receiveDir)
                    .number("files", run.files)
                    .number("bytes", run.bytes)
                    .text("end", k.end)
                    .text("undo", k.undo)
                    .number("undone_files", run.undoneFiles)
                    .number("unclear_files", run.unclearFiles)
                    .number("pending_files", run.pendingFiles)
                    .flag("damaged", run.damaged)
                    .str());
    }
    printLine(JsonObject().text("command", "history").json("runs", list.str()).str());
    return kDone;
  }
  if (output.quiet) return kDone;
  if (runs.empty()) {
    printLine("実行の記録はありません。");
    return kDone;
  }
  printLine("実行  日時  操作  ファイル数  バイト数  結果  取り消し  移動元 → 移動先");
  for (const engine::RunSummary& run : runs) {
    printLine(run.id + "  " + startedText(run.startedSeconds) + "  " +
              (run.options.copyFiles ? "コピー" : "移動") + "  " + std::to_string(run.files) +
              "  " + std::to_string(run.bytes) + "  " + std::string(engine::runEndWord(run)) +
              engine::runNotes(run) + "  " + std::string(engine::undoStateWord(run.undoState())) +
              "  " + displayPath(run.options.serverDir) + " → " +
              displayPath(run.options.receiveDir));
  }
  return kDone;
}

int undoCommand(const std::string& runId, bool dryRun, const OutputChoice& output) {
  const engine::UndoReport report = engine::undoRun({.runId = runId, .dryRun = dryRun});
  std::size_t refusedCount = 0;
  for (const engine::UndoItem& item : report.items) refusedCount += refused(item.outcome) ? 1 : 0;

  if (output.json) {
    JsonArray items;
    JsonArray folders;
    for (const std::string& folder : report.foldersRemoved) folders.json(jsonString(folder));
    for (const engine::UndoItem& item : report.items) {
      items.json(JsonObject()
                     .text("source", item.entry.file.source)
                     .text("destination", item.entry.file.destination)
                     .text("outcome", outcomeKey(item.outcome))
                     .text("reason", undoItemReason(item))
                     .str());
    }
    printLine(JsonObject()
                  .text("command", "undo")
                  .flag("dry_run", dryRun)
                  .text("status", statusKey(report.status))
                  .text("run", report.run.id)
                  .json("items", items.str())
                  .json("folders_removed", folders.str())
                  .str());
  }
  if (report.status != engine::UndoStatus::Done) return reportStatus(report, runId);

  // What was not undone always goes to standard error; a dry run also
  // lists what it would undo.
  for (const engine::UndoItem& item : report.items) {
    const engine::TransferredFile& f = item.entry.file;
    if (refused(item.outcome)) {
      std::fprintf(stderr, "元に戻せません: %s → %s（%s）\n", displayPath(f.destination).c_str(),
                   displayPath(f.source).c_str(), undoItemReason(item).c_str());
    } else if (item.outcome == UndoOutcome::WouldUndo && !output.quiet && !output.json) {
      printLine(
          std::string(f.kind == engine::TransferredFile::Kind::Copied ? "削除します: "
                                                                      : "元に戻します: ") +
          displayPath(f.destination) +
          (f.kind == engine::TransferredFile::Kind::Copied ? "" : " → " + displayPath(f.source)));
    }
  }
  if (!output.quiet && !output.json) {
    const std::size_t done = report.count(dryRun ? UndoOutcome::WouldUndo : UndoOutcome::Undone);
    const std::size_t earlier = report.count(UndoOutcome::AlreadyUndone);
    std::string line =
        std::string(dryRun ? "取り消し予定： " : "取り消し結果： ") + "実行 " + report.run.id +
        "   " + (dryRun ? "元に戻す " : "元に戻した ") + std::to_string(done) + " ファイル   " +
        (dryRun ? "戻せない " : "戻せなかった ") + std::to_string(refusedCount) + " ファイル";
    if (earlier > 0) line += "   既に取り消し済み " + std::to_string(earlier) + " ファイル";
    if (!report.foldersRemoved.empty())
      line += "   作ったフォルダを削除 " + std::to_string(report.foldersRemoved.size());
    printLine(line);
  }
  if (report.markError != 0) {
    std::fprintf(stderr,
                 "取り消しの記録を書き込めませんでした。%s"
                 "記録できなかったファイルは元に戻していません。\n",
                 failureReason(0, report.markError).c_str());
    return kRunFailed;
  }
  return refusedCount > 0 ? kRunFailed : kDone;
}

}  // namespace msifter::cli
