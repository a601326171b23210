// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message catalogue: every ordinary message is looked up by its code in
// the message database that ships beside the program (sys/msg).
#include <cstdint>
#include <string>
#include <variant>

#include "common/catalogue_key.h"
#include "common/ui_services.h"
#include "msg_codes.h"

namespace msifter::common {

// applicationFolder() + "/sys/msg"
std::string messageDatabasePath();

// Opens the message database; false (and one report) when it cannot be
// opened or the password does not fit.
bool gMsgInit(const std::string& path, const std::string& password);

// Where the caller's text goes beside the stored text. Any value but After
// puts it in front, as every caller has it.
enum class TextPosition : uint8_t { Before = 0, After = 1 };

// Shows message `code` (msgcode::*) with the caller's text beside the stored
// text. Returns the pressed button, or answer::NoMessage when no message
// could be taken from the database.
answer::ResultCode gDispMsg(int16_t code, const std::string& text = "",
                            TextPosition position = TextPosition::Before);

// The lookup gDispMsg runs for `code`.
std::string msgQueryText(int16_t code);

// The record layer under gDispMsg: the result of the last query, its record
// count and the fields of its first row. None of these reports anything.

// A column value: Null, an integer, a floating-point number or a text.
using MsgValue = std::variant<std::monostate, int64_t, double, std::string>;

// Column types, numbered as the catalogue's callers expect them.
namespace fieldType {
enum Type : int { Long = 4, Double = 7, Date = 8, Text = 10, LongBinary = 11 };
}  // namespace fieldType

struct MsgField {
  std::string name;
  int type = fieldType::Text;
  MsgValue value;
};

// Runs a query on the open database and makes its result current; true also
// for an empty result (whose record count is 0, the fields staying as they
// were).
bool MsgDbOpenRecordSet(const std::string& query);
// The field at a 0-based column index of the current row; nullptr beyond the
// last column or below 0.
const MsgField* MsgDbFields(int32_t index);
// The field's value, Null replaced by 0 for numbers, "1000/01/01" for dates
// and " " for everything else; a date as its digits. Empty for no field.
MsgValue MsgDbCnvFld(const MsgField* field);
int32_t MsgDbRecordCount();

}  // namespace msifter::common
