// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The option table: one row per option of a run, with every place it lives.
// The window, the command line, the settings store and the check before a
// run all read their part of it from here.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "options/controls.h"
#include "options/run_options.h"

namespace msifter::options {

// The field of RunOptions a row holds. monostate: the store's one value that
// is no option, the moment of the last run (datLastExecute).
using Field =
    std::variant<std::monostate, std::string RunOptions::*, bool RunOptions::*,
                 int32_t RunOptions::*, ImageTypes RunOptions::*, RenameMethod RunOptions::*,
                 StampChoice RunOptions::*, TimeShift RunOptions::*, VideoTime RunOptions::*>;

// The control that shows it in the window: a check box, a text box or a
// folder label. The image types show in their own boxes (kImageTypes) and
// the rename method in its option buttons (kRenameMethods).
using Control = std::variant<std::monostate, Check, Text, FolderLabel>;

// What a failed check says: a catalogue message (its code, and the caller's
// text in front of it) and where the focus goes, before or after it shows.
struct OptionProblem {
  int16_t code = 0;
  std::string callerText;
  std::optional<Focus> focus;
  bool focusFirst = false;
  bool operator==(const OptionProblem&) const = default;
};

// The checks run stage by stage, each stage over the rows in table order,
// so that a missing folder is told only once both folders are chosen.
// Naming: options that only a kind of name can use.
enum class CheckStage { FolderChosen, FolderExists, FileTypes, SizeLimits, Naming };
using OptionCheck = std::optional<OptionProblem> (*)(const RunOptions&, CheckStage);

struct OptionRow {
  const char* name;
  Field field;
  // Its value in the per-user store: a text for strings and the image
  // types, a 32-bit number for the rest. nullptr: not kept.
  const char* storeKey = nullptr;
  Control control{};
  // The command line: a switch ("--copy") with its opposite ("--move"), an
  // option with a value ("--min-kb"), or an argument ("SRC").
  const char* flag = nullptr;
  const char* offFlag = nullptr;
  // An option with a value turns this one on ("--min-kb" turns on
  // useMinSize).
  bool RunOptions::*turnsOn = nullptr;
  // Options of one group are given together: one of them given on the
  // command line replaces the whole group.
  const char* group = nullptr;
  OptionCheck check = nullptr;
};

std::span<const OptionRow> optionTable();

// For std::visit over a row's field: one lambda per kind of field.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
// The row named `name`; nullptr for none.
const OptionRow* optionRow(std::string_view name);
// The row whose check finds `problem` in `options`; nullptr for none.
const OptionRow* rowWithProblem(const RunOptions& options, const OptionProblem& problem);

// What is wrong with a template of folders by date, as the check of its row
// says it; nothing for a valid one. An empty text is refused here: the
// window's box ticked with nothing in it (the row takes "" as no folders).
std::optional<OptionProblem> folderTemplateRefusal(std::string_view text);

// Copies the row's field (and what it turns on) from `from` to `to`.
void copyOption(const OptionRow& row, const RunOptions& from, RunOptions& to);

// The check before a run: the first problem the options have, or none.
// It looks whether the folders exist, and at nothing else.
std::optional<OptionProblem> checkRunOptions(const RunOptions& options);
// The same in two halves, the folders and then the rest, for the window,
// which fills its empty number boxes in between.
std::optional<OptionProblem> checkFolders(const RunOptions& options);
std::optional<OptionProblem> checkChoices(const RunOptions& options);

}  // namespace msifter::options
