// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/option_table.h"

#include "common/msg.h"
#include "common/paths.h"
#include "common/text.h"
#include "options/folder_template.h"

namespace msifter::options {

namespace {

using Stage = CheckStage;
using Problem = std::optional<OptionProblem>;

// A folder is chosen first, and only then looked for on disk.
Problem folderCheck(const std::string& folder, Stage stage, const char* role, Focus select) {
  const std::string name = std::string(role) + "のフォルダ";
  if (stage == Stage::FolderChosen && common::trimSpaces(folder).empty())
    return OptionProblem{msgcode::PleaseChoose, name + "を", select, true};
  if (stage == Stage::FolderExists && !common::gChkDirExists(folder, false))
    return OptionProblem{msgcode::DoesNotExist, name + "が", std::nullopt, false};
  return std::nullopt;
}

Problem checkSource(const RunOptions& o, Stage stage) {
  return folderCheck(o.serverDir, stage, "移動元", Focus::ServerSelect);
}

Problem checkDestination(const RunOptions& o, Stage stage) {
  return folderCheck(o.receiveDir, stage, "移動先", Focus::ReceiveSelect);
}

// Images chosen without a type take nothing, even with other files chosen.
Problem checkFileTypes(const RunOptions& o, Stage stage) {
  if (stage != Stage::FileTypes || o.allFile) return std::nullopt;
  const bool exact = o.useExtensions && !extensionItems(o.extensions).empty();
  const bool chosen = o.graphics ? o.images.any() : o.other || exact;
  if (chosen) return std::nullopt;
  return OptionProblem{msgcode::PleaseChoose, "検索ファイルを", std::nullopt, false};
}

Problem checkMinSize(const RunOptions& o, Stage stage) {
  if (stage != Stage::SizeLimits || !o.useMinSize || !o.useMaxSize || o.minSizeKb < o.maxSizeKb)
    return std::nullopt;
  return OptionProblem{msgcode::SizeLimitsWrong, "", Focus::LimitMinSize, false};
}

Problem checkMaxSize(const RunOptions& o, Stage stage) {
  if (stage != Stage::SizeLimits || !o.useMaxSize || o.maxSizeKb != 0) return std::nullopt;
  return OptionProblem{msgcode::SizeLimitsWrong, "", Focus::LimitMaxSize, false};
}

constexpr const char* kTimeShiftFlag = "--time-shift";
constexpr const char* kVideoTimeFlag = "--video-time";
// What the message names: the option, as the command line gives it.
constexpr const char* kTimeShiftText = "--time-shift ";
constexpr const char* kVideoTimeText = "--video-time=local ";

// A correction of capture times changes nothing in names by the moment of
// the transfer or by serial numbers: said rather than left without effect.
Problem captureOnly(bool given, const RunOptions& o, Stage stage, const char* what) {
  if (stage != Stage::Naming || !given || o.stamp == StampChoice::Capture) return std::nullopt;
  return OptionProblem{msgcode::CaptureOnly, what, std::nullopt, false};
}

Problem checkTimeShift(const RunOptions& o, Stage stage) {
  return captureOnly(o.timeShift.seconds != 0, o, stage, kTimeShiftText);
}

Problem checkVideoTime(const RunOptions& o, Stage stage) {
  return captureOnly(o.videoTime != VideoTime::Utc, o, stage, kVideoTimeText);
}

// A template that would lead out of the destination, or that has a field
// of no date, is refused before anything is searched; an empty one files
// straight into the destination.
Problem checkFolderTemplate(const RunOptions& o, Stage stage) {
  if (stage != Stage::Naming || o.folders.empty()) return std::nullopt;
  return folderTemplateRefusal(o.folders);
}

// A backup in the destination or the source would be sorted, searched or
// undone with them: it would be no second place at all.
Problem checkBackup(const RunOptions& o, Stage stage) {
  if (o.backupDir.empty()) return std::nullopt;
  if (stage == Stage::FolderExists && !common::gChkDirExists(o.backupDir, false))
    return OptionProblem{msgcode::DoesNotExist, "バックアップ先のフォルダが", std::nullopt, false};
  if (stage != Stage::Naming) return std::nullopt;
  for (const std::string* folder : {&o.receiveDir, &o.serverDir}) {
    if (common::folderWithin(o.backupDir, *folder))
      return OptionProblem{msgcode::BackupInside, "バックアップ先のフォルダ（--backup）",
                           std::nullopt, false};
  }
  return std::nullopt;
}

constexpr const char* kTypes = "types";
using O = RunOptions;

// The store's nineteen values first, in the order they have always been
// read and written; then the store's values of the options the window has
// no control for, and the import options, kept under keys of their own;
// then what only the command line gives.
// clang-format off
constexpr OptionRow kRows[] = {
    {.name = "serverDir", .field = &O::serverDir, .storeKey = "strServerDir", .control = FolderLabel::ServerDir, .flag = "SRC", .check = checkSource},
    {.name = "receiveDir", .field = &O::receiveDir, .storeKey = "strReceiveDir", .control = FolderLabel::ReceiveDir, .flag = "DST", .check = checkDestination},
    {.name = "useCountLimit", .field = &O::useCountLimit, .storeKey = "chkLimitCount", .control = Check::LimitCount},
    {.name = "countLimit", .field = &O::countLimit, .storeKey = "lngLimitCount", .control = Text::LimitCount, .flag = "--limit", .turnsOn = &O::useCountLimit},
    {.name = "subFolder", .field = &O::subFolder, .storeKey = "chkSubFolder", .control = Check::SubFolder, .flag = "--subfolders", .offFlag = "--no-subfolders"},
    {.name = "useMinSize", .field = &O::useMinSize, .storeKey = "chkLimitMinSize", .control = Check::LimitMinSize},
    {.name = "minSizeKb", .field = &O::minSizeKb, .storeKey = "lngLimitMinSize", .control = Text::LimitMinSize, .flag = "--min-kb", .turnsOn = &O::useMinSize, .check = checkMinSize},
    {.name = "useMaxSize", .field = &O::useMaxSize, .storeKey = "chkLimitMaxSize", .control = Check::LimitMaxSize},
    {.name = "maxSizeKb", .field = &O::maxSizeKb, .storeKey = "lngLimitMaxSize", .control = Text::LimitMaxSize, .flag = "--max-kb", .turnsOn = &O::useMaxSize, .check = checkMaxSize},
    {.name = "slowly", .field = &O::slowly, .storeKey = "chkSlowly", .control = Check::Slowly, .flag = "--slow", .offFlag = "--no-slow"},
    {.name = "copyFiles", .field = &O::copyFiles, .storeKey = "chkCopy", .control = Check::Copy, .flag = "--copy", .offFlag = "--move"},
    {.name = "allFile", .field = &O::allFile, .storeKey = "chkAllFile", .control = Check::AllFile, .flag = "--all", .group = kTypes, .check = checkFileTypes},
    {.name = "graphics", .field = &O::graphics, .storeKey = "chkGraphics", .control = Check::Graphics, .group = kTypes},
    {.name = "images", .field = &O::images, .storeKey = "strGraphics", .flag = "--images", .turnsOn = &O::graphics, .group = kTypes},
    {.name = "other", .field = &O::other, .storeKey = "chkOther", .control = Check::Other, .group = kTypes},
    {.name = "otherText", .field = &O::otherText, .storeKey = "strOther", .control = Text::Other, .flag = "--other", .turnsOn = &O::other, .group = kTypes},
    {.name = "renameMethod", .field = &O::renameMethod, .storeKey = "bytBytRenameMethod", .flag = kRenameMethods[1].flag, .offFlag = kRenameMethods[0].flag},
    {.name = "lastExecute", .field = std::monostate{}, .storeKey = "datLastExecute"},
    {.name = "extFix", .field = &O::extFix, .storeKey = "chkExtFix", .control = Check::ExtFix, .flag = "--fix-ext", .offFlag = "--keep-ext"},
    {.name = "useExtensions", .field = &O::useExtensions, .storeKey = "chkExtensions", .group = kTypes},
    {.name = "extensions", .field = &O::extensions, .storeKey = "strExtensions", .flag = "--ext", .turnsOn = &O::useExtensions, .group = kTypes},
    {.name = "timeShift", .field = &O::timeShift, .storeKey = "lngTimeShift", .flag = kTimeShiftFlag, .check = checkTimeShift},
    {.name = "videoTime", .field = &O::videoTime, .storeKey = "bytVideoTime", .flag = kVideoTimeFlag, .check = checkVideoTime},
    {.name = "stamp", .field = &O::stamp, .storeKey = "bytStamp", .flag = "--stamp"},
    {.name = "skipIdentical", .field = &O::skipIdentical, .storeKey = "chkSkipIdentical", .flag = "--skip-identical"},
    {.name = "folders", .field = &O::folders, .storeKey = "strFolders", .flag = "--folders", .check = checkFolderTemplate},
    {.name = "groups", .field = &O::groups, .storeKey = "chkGroups", .flag = "--groups", .offFlag = "--no-groups"},
    {.name = "backupDir", .field = &O::backupDir, .storeKey = "strBackupDir", .flag = "--backup", .check = checkBackup},
    {.name = "dryRun", .field = &O::dryRun, .flag = "--dry-run"},
};
// clang-format on

Problem firstProblem(const RunOptions& options, std::initializer_list<Stage> stages) {
  for (const Stage stage : stages) {
    for (const OptionRow& row : kRows) {
      if (row.check == nullptr) continue;
      if (Problem problem = row.check(options, stage)) return problem;
    }
  }
  return std::nullopt;
}

}  // namespace

std::span<const OptionRow> optionTable() { return kRows; }

std::optional<OptionProblem> folderTemplateRefusal(std::string_view text) {
  std::optional<FolderTemplateProblem> problem = folderTemplateProblem(text);
  // A box ticked with nothing in it names no folder: no level has a name.
  if (text.empty()) problem = FolderTemplateProblem{FolderTemplateFault::EmptyLevel, ""};
  if (!problem) return std::nullopt;
  std::string why;
  switch (problem->fault) {
    case FolderTemplateFault::Climbs:
      why = "「" + problem->detail + "」は移動先の外を指します";
      break;
    case FolderTemplateFault::EmptyLevel: why = "名前のない階層があります"; break;
    case FolderTemplateFault::UnknownField:
      why = "「" + problem->detail + "」は使えない項目です";
      break;
  }
  return OptionProblem{msgcode::FolderTemplateWrong,
                       "フォルダの指定「" + std::string(text) + "」（" + why + "）", std::nullopt,
                       false};
}

const OptionRow* optionRow(std::string_view name) {
  for (const OptionRow& row : kRows) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

void copyOption(const OptionRow& row, const RunOptions& from, RunOptions& to) {
  std::visit(
      [&](auto member) {
        if constexpr (!std::is_same_v<decltype(member), std::monostate>) to.*member = from.*member;
      },
      row.field);
  if (row.turnsOn != nullptr) to.*row.turnsOn = from.*row.turnsOn;
}

std::optional<OptionProblem> checkFolders(const RunOptions& options) {
  return firstProblem(options, {Stage::FolderChosen, Stage::FolderExists});
}

std::optional<OptionProblem> checkChoices(const RunOptions& options) {
  return firstProblem(options, {Stage::FileTypes, Stage::SizeLimits, Stage::Naming});
}

const OptionRow* rowWithProblem(const RunOptions& options, const OptionProblem& problem) {
  for (const OptionRow& row : kRows) {
    if (row.check == nullptr) continue;
    for (const Stage stage : {Stage::FolderChosen, Stage::FolderExists, Stage::FileTypes,
                              Stage::SizeLimits, Stage::Naming}) {
      if (row.check(options, stage) == problem) return &row;
    }
  }
  return nullptr;
}

std::optional<OptionProblem> checkRunOptions(const RunOptions& options) {
  if (Problem problem = checkFolders(options)) return problem;
  return checkChoices(options);
}

}  // namespace msifter::options
