#pragma once
// The command line's own Japanese texts, where the window has none.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/undo.h"

namespace msifter::cli {

// Why a file was or was not undone.
std::string_view undoReason(engine::UndoOutcome outcome);

// Why a file could not be transferred: the system's reason (errno) where it
// gave one, else the failure number's standard description.
std::string failureReason(int32_t number, int error);

// A preview's line for a file whose extension is too long for any new name.
inline constexpr std::string_view kNameTooLongNote =
    "（拡張子が長すぎて、新しい名前がファイル名の長さの上限に収まりません）";

// A path on a line of its own for a reader: control characters (a line
// break in a name) become "?". --json keeps the exact bytes.
std::string displayPath(std::string_view path);

// `line` and a line end on standard output, bytes as they are.
void printLine(const std::string& line);

}  // namespace msifter::cli
