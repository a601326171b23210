// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's own Japanese texts, where the window has none.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure_reason.h"
#include "engine/undo_reason.h"

namespace msifter::cli {

// Shared with the window.
using common::failureReason;
using engine::undoItemReason;

// A preview's line for a file whose extension is too long for any new name.
inline constexpr std::string_view kNameTooLongNote =
    "（拡張子が長すぎて、新しい名前がファイル名の長さの上限に収まりません）";

// Why a run does not go into a folder below its destination (folders by
// date): `folder` is a link or something else than a folder.
std::string folderRefusedText(const std::string& folder);

// A path on a line of its own for a reader: control characters (a line
// break in a name) become "?". --json keeps the exact bytes.
std::string displayPath(std::string_view path);
// The same, at the end of `out`.
void appendDisplayPath(std::string& out, std::string_view path);

// `line` and a line end on standard output, bytes as they are.
void printLine(const std::string& line);

}  // namespace msifter::cli
