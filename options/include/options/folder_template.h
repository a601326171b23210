// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders by date below the destination: a template such as "%Y/%m/%d" or
// "%Y/%Y-%m-%d". Its fields are those of strftime for the date and time of
// a file's stamp (%Y %m %d %H %M %S, and %% for a "%"); any other text is
// taken as it stands; "/" separates the levels. A template never leads out
// of the destination: no level may be empty, ".", or "..".
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace msifter::options {

enum class FolderTemplateFault {
  Climbs,        // a leading "/", or a level "." or ".."
  EmptyLevel,    // "//", or a "/" at the end
  UnknownField,  // a "%" not followed by one of Y m d H M S %
};

struct FolderTemplateProblem {
  FolderTemplateFault fault;
  std::string detail;  // the level or the field at fault
  bool operator==(const FolderTemplateProblem&) const = default;
};

// What is wrong with `text` as a template; nothing for an empty one (no
// subfolders) or a good one.
std::optional<FolderTemplateProblem> folderTemplateProblem(std::string_view text);
// True for a template a run can file by; an empty one names no folder, so
// a box ticked with nothing in it is not valid.
bool folderTemplateValid(std::string_view text);

// The folder `text` names for the date and time `when` ("2024/05/01"),
// relative to the destination; "" for an empty template. Only for a
// template without a problem.
std::string expandFolderTemplate(std::string_view text, const std::tm& when);

}  // namespace msifter::options
