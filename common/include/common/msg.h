#pragma once
// The message catalogue: every ordinary message is looked up by its code in
// the message database that ships beside the program (sys/msg).
#include <cstdint>
#include <string>

namespace msifter::common {

inline constexpr const char* kMsgPassword = "tkrwzn";

// applicationFolder() + "/sys/msg"
std::string messageDatabasePath();

// Opens the message database; false (and one report) when it cannot be
// opened or the password does not fit.
bool gMsgInit(const std::string& path, const std::string& password);

// Shows message `code`, with `text` in front of the stored text (or after it
// when textPosition is 1). Returns the pressed button, or -100 when no
// message could be taken from the database.
int16_t gDispMsg(int16_t code, const std::string& text = "", uint8_t textPosition = 0);

}  // namespace msifter::common
