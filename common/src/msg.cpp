// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/msg.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/app.h"
#include "common/failure.h"
#include "common/paths.h"
#include "common/text.h"
#include "common/ui_services.h"
#include "msg_db.h"

namespace msifter::common {

namespace {

std::string textOf(const MsgValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", *real);
    return buf;
  }
  return {};
}

int16_t checkedInt16(double number) {
  const double rounded = std::nearbyint(number);
  if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0) fail(err::Overflow);
  return static_cast<int16_t>(rounded);
}

// A style stored as text still has to be a number.
int16_t int16Of(const MsgValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) {
    if (*number < -32768 || *number > 32767) fail(err::Overflow);
    return static_cast<int16_t>(*number);
  }
  if (const auto* real = std::get_if<double>(&value)) return checkedInt16(*real);
  if (const auto* text = std::get_if<std::string>(&value)) {
    const std::string trimmed = trimSpaces(*text);
    if (trimmed.empty()) fail(err::TypeMismatch);
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    double number = 0;
    const auto [stop, ec] = std::from_chars(begin, end, number, std::chars_format::fixed);
    if (ec != std::errc() || stop != end) fail(err::TypeMismatch);
    return checkedInt16(number);
  }
  return 0;
}

}  // namespace

std::string messageDatabasePath() {
  return gAddBackslash(gAddBackslash(applicationFolder()) + "sys") + "msg";
}

bool gMsgInit(const std::string& path, const std::string& password) {
  return guardLog("gMsgInit", false, [&] {
    detail::msgDbRelease();
    if (const int32_t failure = detail::msgDbOpen(path, password); failure != err::None) {
      fail(failure);
    }
    return true;
  });
}

std::string msgQueryText(int16_t code) {
  return std::string("SELECT MSG, ") + "       DLGFLG " + " FROM t_MSG " +
         " WHERE CODE = " + std::to_string(code);
}

answer::ResultCode gDispMsg(int16_t code, const std::string& text, TextPosition position) {
  return guardLog("gDispMsg", answer::NoMessage, [&] {
    if (!MsgDbOpenRecordSet(msgQueryText(code))) {
      ui().messageBox("ﾒｯｾｰｼﾞの取得に失敗しました。", mb::OkOnly, "gDispMsg");
      gProcError("gDispMsg", "");
      return answer::NoMessage;
    }
    if (MsgDbRecordCount() <= 0) {
      ui().messageBox(
          "ﾒｯｾｰｼﾞｺｰﾄﾞ： " + std::to_string(code) + "に対応するﾒｯｾｰｼﾞが登録されていません。",
          mb::OkOnly, "gDispMsg");
      gProcError("gDispMsg", "");
      return answer::NoMessage;
    }
    const std::string message = textOf(MsgDbCnvFld(MsgDbFields(0)));
    const int16_t style = int16Of(MsgDbCnvFld(MsgDbFields(1)));
    const std::string prompt = position == TextPosition::After ? message + text : text + message;
    return static_cast<answer::ResultCode>(ui().messageBox(prompt, style, ""));
  });
}

}  // namespace msifter::common
