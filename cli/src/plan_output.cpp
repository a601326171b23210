// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/plan_output.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/json_keys.h"
#include "cli/texts.h"
#include "common/paths.h"
#include "platform/clock.h"

namespace msifter::cli {

namespace {

using Action = engine::PlannedFile::Action;

const char* operationWord(bool copy) { return copy ? "copy" : "move"; }

std::string jsonEntry(const engine::PlannedFile& file, const std::string& folder,
                      const std::string& backup, bool copy) {
  JsonObject entry;
  entry.text(key::Source, file.source);
  switch (file.action) {
    case Action::Transfer:
      entry.text("action", operationWord(copy))
          .text("name", file.name)
          .text(key::Destination, folder + file.name)
          .text(key::Operation, operationWord(copy))
          .text(key::Status, "planned");
      if (!backup.empty()) entry.text(key::Backup, backup + file.name);
      if (file.dateSource != engine::DateSource::None)
        entry.text(key::DateSource, engine::dateSourceRow(file.dateSource).word);
      break;
    case Action::SkipIdentical:
      entry.text("action", "skip-identical")
          .text(key::Identical, file.name)
          .text(key::Status, "skipped");
      break;
    case Action::SkipWithPhoto:
      entry.text("action", "skip-with-photo")
          .text("photo_identical", file.name)
          .text(key::Status, "skipped");
      break;
    case Action::FolderRefused:
      entry.text("action", "folder-refused")
          .text("folder", folder + file.name)
          .text(key::Status, "folder-refused");
      break;
    case Action::NameTooLong:
      entry.text("action", "name-too-long").text(key::Status, "name-too-long");
      break;
    case Action::NoFreeName:
      entry.text("action", "no-free-name").text(key::Status, "no-free-name");
      break;
  }
  return entry.str();
}

std::string textTarget(const engine::PlannedFile& file, const std::string& folder) {
  switch (file.action) {
    case Action::Transfer: return displayPath(file.name);
    case Action::NoFreeName: return "（空いている名前がありません）";
    case Action::NameTooLong: return std::string(kNameTooLongNote);
    case Action::SkipIdentical:
      return "（スキップ：同じ内容の " + displayPath(file.name) + " があります）";
    case Action::SkipWithPhoto:
      return "（スキップ：同じ内容の写真 " + displayPath(file.name) + " と一緒に残します）";
    case Action::FolderRefused: return "（" + folderRefusedText(folder + file.name) + "）";
  }
  return {};
}

// Where a capture time came from goes in front: the line still ends in the
// new name.
// Built in `line`, whose room is kept from file to file.
void textLine(const engine::PlannedFile& file, const std::string& folder, std::string& line) {
  line.clear();
  if (file.dateSource != engine::DateSource::None)
    line.append("［").append(engine::dateSourceRow(file.dateSource).text).append("］  ");
  appendDisplayPath(line, file.source);
  line.append("  →  ");
  if (file.action == Action::Transfer)
    appendDisplayPath(line, file.name);
  else
    line.append(textTarget(file, folder));
}

// Raw, as the document is written piece by piece.
void put(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// An object's members without its braces, to follow members written before.
std::string members(const JsonObject& object) {
  std::string text = object.str();
  return text.substr(1, text.size() - 2);
}

}  // namespace

PlanOutput::PlanOutput(const options::RunOptions& options, const RunRequest& request)
    : options_(options),
      request_(request),
      folder_(common::gAddBackslash(options.receiveDir)),
      backup_(options.backupDir.empty() ? "" : common::gAddBackslash(options.backupDir)) {}

PlanOutput::~PlanOutput() {
  if (spool_ != nullptr) std::fclose(spool_);
}

// The document's head up to its list of files; the list and the rest follow
// as the files are planned.
void PlanOutput::beginJson() {
  if (begun_) return;
  begun_ = true;
  // "items", the list under the key that results and history share, is the
  // plan's "files" again: kept aside in an unnamed temporary file rather
  // than in memory, and left out where none can be made.
  spool_ = std::tmpfile();
  std::string head = JsonObject()
                         .text(key::Command, "run")
                         .flag(key::DryRun, true)
                         .json(key::Run, "null")
                         .text(key::Started, isoTime(platform::now()))
                         .text(key::Operation, operationWord(options_.copyFiles))
                         .text(key::Source, options_.serverDir)
                         .text(key::Destination, options_.receiveDir)
                         .json(key::Files, "[")
                         .str();
  head.pop_back();  // the object's "}", written at the end
  put(head);
}

void PlanOutput::file(const engine::PlannedFile& file) {
  if (file.action == Action::Transfer) ++planned_;
  if (file.action == Action::Transfer && file.dateSource == engine::DateSource::Modified)
    ++byModification_;
  if (file.action == Action::SkipIdentical || file.action == Action::SkipWithPhoto) ++skipped_;
  if (file.action == Action::NoFreeName || file.action == Action::NameTooLong ||
      file.action == Action::FolderRefused)
    stops_ = true;
  if (request_.json) {
    beginJson();
    const std::string entry =
        (entries_++ == 0 ? "" : ",") + jsonEntry(file, folder_, backup_, options_.copyFiles);
    put(entry);
    if (spool_ != nullptr && std::fwrite(entry.data(), 1, entry.size(), spool_) != entry.size()) {
      std::fclose(spool_);
      spool_ = nullptr;
    }
  } else if (!request_.quiet) {
    textLine(file, folder_, line_);
    printLine(line_);
  }
}

// The spooled list as "items", once the list under "files" is closed.
void PlanOutput::putItems() {
  if (spool_ == nullptr || std::fflush(spool_) != 0) return;
  std::rewind(spool_);
  put(",\"" + std::string(key::Items) + "\":[");
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, spool_)) > 0)
    std::fwrite(buffer, 1, got, stdout);
  put("]");
}

int PlanOutput::finish(const engine::TransferOptions& snapshot) {
  const int status = stops_ ? kRunFailed : kDone;
  if (request_.json) {
    beginJson();
    put("]");
    putItems();
    put("," +
        members(JsonObject()
                    .text(key::Status, stops_ ? "stops" : "planned")
                    .number("planned", planned_)
                    .number(key::Skipped, skipped_)
                    .json(key::Options, optionsJson(snapshot).str())) +
        "}");
    printLine("");
  } else if (!request_.quiet) {
    const char* verb = options_.copyFiles ? "コピー" : "移動";
    printLine(
        "処理予定： " + std::to_string(planned_) + " ファイル" +
        (options_.skipIdentical ? "   スキップ " + std::to_string(skipped_) + " ファイル" : "") +
        "   " + verb + "先 " + displayPath(options_.receiveDir) +
        (options_.backupDir.empty() ? "" : "   バックアップ先 " + displayPath(options_.backupDir)));
    // Files without a capture time in them are named by when they were
    // last changed, which a copy made elsewhere may not keep.
    if (byModification_ > 0) {
      printLine(std::to_string(byModification_) +
                " ファイルは撮影日時が読めないため、更新日時で名前を付けます。");
    }
  }
  return status;
}

void PlanOutput::abandon(const std::string& message) {
  if (!request_.json || !begun_) return;
  put("]," +
      members(JsonObject().json(key::Error, JsonObject().text(key::Message, message).str())) + "}");
  printLine("");
}

}  // namespace msifter::cli
