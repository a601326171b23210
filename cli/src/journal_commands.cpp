// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/journal_commands.h"

#include <cstdio>
#include <ctime>

#include "cli/json.h"
#include "cli/json_keys.h"
#include "cli/run_command.h"
#include "cli/texts.h"
#include "common/text.h"
#include "engine/journal.h"
#include "engine/run_words.h"
#include "engine/target_list.h"
#include "engine/undo.h"
#include "options/run_options.h"
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

// Why the run could not be looked at; empty when it could.
std::string statusText(const engine::UndoReport& report, const std::string& runId) {
  const std::string name = displayPath(runId.empty() ? report.run.id : runId);
  switch (report.status) {
    case engine::UndoStatus::Done: return "";
    case engine::UndoStatus::NoRuns: return "取り消せる実行の記録がありません。";
    case engine::UndoStatus::NoSuchRun:
      return "実行「" + name + "」の記録はありません（m_sifter-cli history で一覧できます）。";
    case engine::UndoStatus::InUse:
      return "実行「" + name + "」は実行中か、ほかで取り消しの最中です。";
    case engine::UndoStatus::Unreadable:
      return "実行「" + name + "」の記録を読めません。" + failureReason(0, report.error);
  }
  return "";
}

// Says why, and returns the exit status to go with it.
int reportStatus(const engine::UndoReport& report, const std::string& runId) {
  if (report.status == engine::UndoStatus::Done) return kDone;
  std::fprintf(stderr, "%s\n", statusText(report, runId).c_str());
  return report.status == engine::UndoStatus::NoSuchRun ? kUsageError : kRunFailed;
}

std::string verbOf(const engine::RunRecord& record) {
  return record.summary.options.copyFiles ? "コピー" : "移動";
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

// The target list as typed: exact extensions as "拡張子 CR2,NEF".
std::string targetsText(const std::string& list) {
  std::string patterns, extensions;
  for (const std::string& item : common::splitAt(list, ";")) {
    const bool exact = !item.empty() && item.front() == engine::kExactExtension;
    std::string& to = exact ? extensions : patterns;
    to += (to.empty() ? "" : exact ? "," : ";") + (exact ? item.substr(1) : item);
  }
  if (extensions.empty()) return displayPath(patterns);
  return displayPath(patterns) + (patterns.empty() ? "" : " ") + "拡張子 " +
         displayPath(extensions);
}

std::string optionsText(const engine::TransferOptions& o) {
  std::string text = "対象 " + targetsText(o.targetList);
  if (o.subFolder) text += "  サブフォルダも";
  if (o.bounds.useMinSize) text += "  " + std::to_string(o.bounds.minSizeBytes) + " バイト以上";
  if (o.bounds.useMaxSize) text += "  " + std::to_string(o.bounds.maxSizeBytes) + " バイト以下";
  if (o.bounds.useCountLimit) text += "  " + std::to_string(o.bounds.countLimit) + " ファイルまで";
  text += o.renameMethod == engine::RenameMethod::SerialNumber ? "  連番" : "  日時";
  if (o.stamp == options::StampChoice::Capture) {
    text += "（撮影日時";
    if (o.timeShift.seconds != 0) text += " " + options::timeShiftText(o.timeShift);
    if (o.videoTime == options::VideoTime::Local) text += "、動画はカメラの時計";
    text += "）";
  }
  if (o.groups) text += "  写真と関連ファイルをまとめる";
  if (o.extFix) text += "  拡張子を直す";
  if (!o.folders.empty()) text += "  日付のフォルダ " + displayPath(o.folders);
  if (o.skipIdentical) text += "  同じ内容はスキップ";
  if (!o.backupDir.empty()) text += "  バックアップ先 " + displayPath(o.backupDir);
  if (o.slowly) text += "  ゆっくり";
  return text;
}

// A completed run is "done", as a result calls it.
const char* statusWord(const engine::RunSummary& run) {
  return !run.inUse && run.end == engine::RunEnd::Completed ? "done" : keys(run).end;
}

JsonObject runJson(const engine::RunSummary& run) {
  const RunKeys k = keys(run);
  JsonObject json;
  json.text(key::Run, run.id)
      .text(key::Started, isoTime(run.startedSeconds))
      .text(key::Operation, run.options.copyFiles ? "copy" : "move")
      .text(key::Status, statusWord(run))
      .text(key::Source, run.options.serverDir)
      .text(key::Destination, run.options.receiveDir)
      .number(key::Files, run.files)
      .number(key::Bytes, run.bytes)
      .number(key::Skipped, run.skippedFiles)
      .text("end", k.end)
      .text("undo", k.undo)
      .number("undone_files", run.undoneFiles)
      .number("unclear_files", run.unclearFiles)
      .number("pending_files", run.pendingFiles)
      .number("unbacked_files", run.unbackedFiles)
      .flag("damaged", run.damaged)
      .json(key::Options, optionsJson(run.options).str());
  return json;
}

std::string runLine(const engine::RunSummary& run) {
  return run.id + "  " + startedText(run.startedSeconds) + "  " +
         (run.options.copyFiles ? "コピー" : "移動") + "  " + std::to_string(run.files) + "  " +
         std::to_string(run.bytes) + "  " + std::string(engine::runEndWord(run)) +
         engine::runNotes(run) + "  " + std::string(engine::undoStateWord(run.undoState())) + "  " +
         std::to_string(run.skippedFiles) + "  " + displayPath(run.options.serverDir) + " → " +
         displayPath(run.options.receiveDir);
}

// Where a look found a planned file that was not transferred.
struct WhereRow {
  engine::LeftAs how;
  const char* key;
  const char* text;
};
constexpr WhereRow kWhere[] = {
    {engine::LeftAs::Untouched, "untouched", "移動元にあります"},
    {engine::LeftAs::CopyDropped, "dropped", "移動元にあります（途中のコピーは削除しました）"},
    {engine::LeftAs::BothKept, "both", "移動元と移動先の両方にあります（内容が違います）"},
    {engine::LeftAs::Missing, "missing", "移動元にも移動先にも見つかりません"},
    {engine::LeftAs::NotAsRecorded, "changed", "移動元になく、移動先には別のファイルがあります"},
};
const WhereRow& whereRow(engine::LeftAs how) {
  for (const WhereRow& row : kWhere) {
    if (row.how == how) return row;
  }
  return kWhere[0];
}

// A file of a run with a backup folder that has no copy there (one taken
// back needs none).
bool lacksBackup(const engine::RunRecord& record, const engine::JournalEntry& e) {
  return !record.summary.options.backupDir.empty() && e.backup.path.empty() && !e.undone;
}

JsonArray runItems(const engine::RunRecord& record) {
  JsonArray items;
  for (const engine::JournalEntry& e : record.entries) {
    JsonObject item;
    item.text(key::Source, e.file.source)
        .text(key::Destination, e.file.destination)
        .text(key::Operation,
              e.file.kind == engine::TransferredFile::Kind::Copied ? "copy" : "move")
        .text(key::Status, e.undone ? "undone" : "done")
        .number("number", e.number)
        .number(key::Bytes, e.file.size)
        .flag(key::Undone, e.undone);
    if (e.dateSource != engine::DateSource::None)
      item.text(key::DateSource, engine::dateSourceRow(e.dateSource).word);
    if (!e.backup.path.empty()) item.text(key::Backup, e.backup.path);
    if (lacksBackup(record, e)) {
      item.json(key::Backup, "null")
          .json(key::BackupError, JsonObject()
                                      .text(key::Code, engine::missingBackupCode(e.backupError))
                                      .text(key::Message, engine::missingBackupText(e.backupError))
                                      .str());
    }
    items.json(item.str());
  }
  for (const engine::SkippedFile& f : record.skipped) {
    items.json(JsonObject()
                   .text(key::Source, f.source)
                   .text(key::Identical, f.identical)
                   .text(key::Status, "skipped")
                   .str());
  }
  for (const engine::LeftFile& f : record.left) {
    items.json(JsonObject()
                   .text(key::Source, f.source)
                   .text(key::Destination, f.destination)
                   .text(key::Status, whereRow(f.how).key)
                   .number("number", f.number)
                   .str());
  }
  return items;
}

void printRunFiles(const engine::RunRecord& record) {
  for (const engine::JournalEntry& e : record.entries) {
    std::string line = "  " + displayPath(e.file.source) + " → " + displayPath(e.file.destination);
    if (e.dateSource != engine::DateSource::None)
      line += std::string("  （") + engine::dateSourceRow(e.dateSource).text + "）";
    if (!e.backup.path.empty()) line += "  バックアップ " + displayPath(e.backup.path);
    if (lacksBackup(record, e)) line += "  " + engine::missingBackupText(e.backupError);
    if (e.undone) line += "  取り消し済み";
    printLine(line);
  }
  for (const engine::SkippedFile& f : record.skipped) {
    printLine("  " + displayPath(f.source) + "  スキップ（同じ内容の " + displayPath(f.identical) +
              " があります）");
  }
  for (const engine::LeftFile& f : record.left)
    printLine("  " + displayPath(f.source) + "  " + verbOf(record) + "していません（" +
              whereRow(f.how).text + "）");
}

int showRun(const std::string& runId, const OutputChoice& output) {
  const std::optional<engine::RunRecord> record = engine::readRun(runId);
  if (!record) {
    const std::string message = "実行「" + displayPath(runId) +
                                "」の記録はありません（m_sifter-cli history で一覧できます）。";
    if (output.json) {
      printLine(
          JsonObject()
              .text(key::Command, "history")
              .text(key::Run, runId)
              .json(key::Error,
                    JsonObject().text(key::Code, "no-such-run").text(key::Message, message).str())
              .str());
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    return kUsageError;
  }
  if (output.json) {
    printLine(runJson(record->summary)
                  .text(key::Command, "history")
                  .json(key::Items, runItems(*record).str())
                  .str());
    return kDone;
  }
  if (output.quiet) return kDone;
  printLine(runLine(record->summary));
  printLine("    条件: " + optionsText(record->summary.options));
  printRunFiles(*record);
  return kDone;
}

// Each file as undone or refused (a code and the text), and why an undo
// refused as a whole did.
void printUndoJson(const engine::UndoReport& report, const std::string& runId, bool dryRun) {
  JsonArray items;
  for (const engine::UndoItem& item : report.items) {
    JsonObject json;
    json.text(key::Source, item.entry.file.source)
        .text(key::Destination, item.entry.file.destination)
        .text("outcome", outcomeKey(item.outcome))
        .text("reason", undoItemReason(item))
        .text(key::Status, refused(item.outcome) ? "refused" : outcomeKey(item.outcome));
    // A refusal as a code a script can test and the text a person reads.
    if (refused(item.outcome)) {
      json.text(key::Code, outcomeKey(item.outcome)).text(key::Message, undoItemReason(item));
    }
    items.json(json.str());
  }
  JsonArray folders;
  for (const std::string& folder : report.foldersRemoved) folders.json(jsonString(folder));
  JsonObject json;
  json.text(key::Command, "undo")
      .flag(key::DryRun, dryRun)
      .text(key::Status, statusKey(report.status))
      .text(key::Run, report.run.id)
      .number("backups_removed", static_cast<int64_t>(report.backupsRemoved))
      .json(key::Items, items.str())
      .json(key::FoldersRemoved, folders.str());
  if (report.status != engine::UndoStatus::Done) {
    json.json(key::Error, JsonObject()
                              .text(key::Code, statusKey(report.status))
                              .text(key::Message, statusText(report, runId))
                              .str());
  }
  printLine(json.str());
}

}  // namespace

int showHistory(const OutputChoice& output, const std::string& runId) {
  if (!runId.empty()) return showRun(runId, output);
  const std::vector<engine::RunSummary> runs = engine::listRuns();
  if (output.json) {
    JsonArray list;
    for (const engine::RunSummary& run : runs) list.json(runJson(run).str());
    printLine(JsonObject().text(key::Command, "history").json("runs", list.str()).str());
    return kDone;
  }
  if (output.quiet) return kDone;
  if (runs.empty()) {
    printLine("実行の記録はありません。");
    return kDone;
  }
  printLine("実行  日時  操作  ファイル数  バイト数  結果  取り消し  スキップ  移動元 → 移動先");
  for (const engine::RunSummary& run : runs) {
    printLine(runLine(run));
    printLine("    条件: " + optionsText(run.options));
  }
  return kDone;
}

int undoCommand(const std::string& runId, bool dryRun, const OutputChoice& output) {
  const engine::UndoReport report = engine::undoRun({.runId = runId, .dryRun = dryRun});
  std::size_t refusedCount = 0;
  for (const engine::UndoItem& item : report.items) refusedCount += refused(item.outcome) ? 1 : 0;

  if (output.json) printUndoJson(report, runId, dryRun);
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
    if (report.backupsRemoved > 0)
      line += "   バックアップから削除した " + std::to_string(report.backupsRemoved) + " ファイル";
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
