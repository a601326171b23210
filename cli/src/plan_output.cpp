#include "cli/plan_output.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/texts.h"
#include "common/paths.h"

namespace msifter::cli {

namespace {

using Action = engine::PlannedFile::Action;

std::string jsonEntry(const engine::PlannedFile& file, const std::string& folder, bool copy) {
  JsonObject entry;
  entry.text("source", file.source);
  switch (file.action) {
    case Action::Transfer:
      entry.text("action", copy ? "copy" : "move")
          .text("name", file.name)
          .text("destination", folder + file.name);
      break;
    case Action::SkipIdentical:
      entry.text("action", "skip-identical").text("identical", file.name);
      break;
    case Action::NameTooLong: entry.text("action", "name-too-long"); break;
    case Action::NoFreeName: entry.text("action", "no-free-name"); break;
  }
  return entry.str();
}

std::string textTarget(const engine::PlannedFile& file) {
  switch (file.action) {
    case Action::Transfer: return displayPath(file.name);
    case Action::NoFreeName: return "（空いている名前がありません）";
    case Action::NameTooLong: return std::string(kNameTooLongNote);
    case Action::SkipIdentical:
      return "（スキップ：同じ内容の " + displayPath(file.name) + " があります）";
  }
  return {};
}

// Raw, as the document is written piece by piece.
void put(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

PlanOutput::PlanOutput(const options::RunOptions& options, const RunRequest& request)
    : options_(options), request_(request), folder_(common::gAddBackslash(options.receiveDir)) {}

// The document's head up to its list of files; the list and the end follow
// as the files are planned.
void PlanOutput::beginJson() {
  if (begun_) return;
  begun_ = true;
  std::string head = JsonObject()
                         .text("command", "run")
                         .flag("dry_run", true)
                         .text("source", options_.serverDir)
                         .text("destination", options_.receiveDir)
                         .json("files", "[")
                         .str();
  head.pop_back();  // the object's "}", written at the end
  put(head);
}

void PlanOutput::file(const engine::PlannedFile& file) {
  if (file.action == Action::Transfer) ++planned_;
  if (file.action == Action::SkipIdentical) ++skipped_;
  if (file.action == Action::NoFreeName || file.action == Action::NameTooLong) stops_ = true;
  if (request_.json) {
    beginJson();
    put((entries_++ == 0 ? "" : ",") + jsonEntry(file, folder_, options_.copyFiles));
  } else if (!request_.quiet) {
    printLine(displayPath(file.source) + "  →  " + textTarget(file));
  }
}

int PlanOutput::finish() {
  const int status = stops_ ? kRunFailed : kDone;
  if (request_.json) {
    beginJson();
    put("]}");
    printLine("");
  } else if (!request_.quiet) {
    const char* verb = options_.copyFiles ? "コピー" : "移動";
    printLine(
        "処理予定： " + std::to_string(planned_) + " ファイル" +
        (options_.skipIdentical ? "   スキップ " + std::to_string(skipped_) + " ファイル" : "") +
        "   " + verb + "先 " + displayPath(options_.receiveDir));
  }
  return status;
}

void PlanOutput::abandon(const std::string& message) {
  if (!request_.json || !begun_) return;
  put("]," +
      JsonObject().json("error", JsonObject().text("message", message).str()).str().substr(1));
  printLine("");
}

}  // namespace msifter::cli
