// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include "common/text.h"
#include "options/option_table.h"
#include "settings/settings_window.h"

namespace msifter::settings {

using options::ImageTypes;
using options::OptionRow;
using options::Overloaded;
using options::RunOptions;

namespace {

std::string textOf(const SettingsWindow& window, const options::Control& control) {
  if (const auto* label = std::get_if<FolderLabel>(&control)) return window.caption(*label);
  if (const auto* box = std::get_if<Text>(&control)) return window.text(*box);
  return {};
}

void showText(SettingsWindow& window, const options::Control& control, const std::string& text) {
  if (const auto* label = std::get_if<FolderLabel>(&control)) window.setCaption(*label, text);
  if (const auto* box = std::get_if<Text>(&control)) window.setText(*box, text);
}

void readRow(const SettingsWindow& window, const OptionRow& row, RunOptions& o) {
  std::visit(Overloaded{
                 [&](std::string RunOptions::*m) { o.*m = textOf(window, row.control); },
                 [&](bool RunOptions::*m) {
                   if (const auto* box = std::get_if<Check>(&row.control))
                     o.*m = window.value(*box) != 0;
                 },
                 [&](int32_t RunOptions::*m) {
                   if (const auto* box = std::get_if<Text>(&row.control))
                     o.*m = common::wholeNumberText(window.text(*box));
                 },
                 [&](ImageTypes RunOptions::*m) {
                   for (const auto& type : options::kImageTypes)
                     (o.*m).set(type.type, window.value(type.box) != 0);
                 },
                 // The last button on wins; none on is the first method.
                 [&](RenameMethod RunOptions::*m) {
                   for (const auto& method : options::kRenameMethods) {
                     if (window.isSelected(method.choice)) o.*m = method.choice;
                   }
                 },
                 [](auto) {},
             },
             row.field);
}

void showRow(SettingsWindow& window, const OptionRow& row, const RunOptions& o, bool showMethod) {
  std::visit(
      Overloaded{
          [&](std::string RunOptions::*m) { showText(window, row.control, o.*m); },
          [&](bool RunOptions::*m) {
            if (const auto* box = std::get_if<Check>(&row.control))
              window.setValue(*box, o.*m ? 1 : 0);
          },
          [&](int32_t RunOptions::*m) { showText(window, row.control, std::to_string(o.*m)); },
          [&](ImageTypes RunOptions::*m) {
            for (const auto& type : options::kImageTypes)
              window.setValue(type.box, (o.*m).has(type.type) ? 1 : 0);
          },
          [&](RenameMethod RunOptions::*m) {
            if (showMethod) window.select(o.*m);
          },
          [](auto) {},
      },
      row.field);
}

}  // namespace

RunOptions optionsFromWindow(const SettingsWindow& window) {
  RunOptions options;
  for (const OptionRow& row : options::optionTable()) readRow(window, row, options);
  return options;
}

void takeOptionsBeyondWindow(const RunOptions& from, RunOptions& to) {
  for (const OptionRow& row : options::optionTable()) {
    const bool shown = !std::holds_alternative<std::monostate>(row.control) ||
                       std::holds_alternative<ImageTypes RunOptions::*>(row.field) ||
                       std::holds_alternative<RenameMethod RunOptions::*>(row.field);
    if (row.storeKey != nullptr && !shown) options::copyOption(row, from, to);
  }
}

void showOptions(SettingsWindow& window, const RunOptions& options, bool showMethod) {
  for (const OptionRow& row : options::optionTable()) showRow(window, row, options, showMethod);
}

}  // namespace msifter::settings
