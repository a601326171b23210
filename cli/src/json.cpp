// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json.h"

#include <cstdio>

#include "common/case_mapping.h"

namespace msifter::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of `s`, 0 when there
// is none.
std::size_t utf8Length(std::string_view s) {
  std::size_t next = 0;
  return common::decodeUtf8(s, next) < 0 ? 0 : next;
}

void appendEscape(std::string& out, const char* format, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

}  // namespace

std::string jsonString(std::string_view bytes) {
  std::string out = "\"";
  out.reserve(bytes.size() + 2);
  while (!bytes.empty()) {
    const std::size_t length = utf8Length(bytes);
    const auto c = static_cast<unsigned char>(bytes[0]);
    if (length == 0) {
      appendEscape(out, "\\udc%02x", c);
      bytes.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      appendEscape(out, "\\u%04x", c);
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length);
  }
  return out + "\"";
}

void JsonObject::key(std::string_view key) {
  if (text_.size() > 1) text_ += ",";
  text_ += jsonString(key) + ":";
}

JsonObject& JsonObject::text(std::string_view key, std::string_view text) {
  this->key(key);
  text_ += jsonString(text);
  return *this;
}

JsonObject& JsonObject::number(std::string_view key, int64_t number) {
  this->key(key);
  text_ += std::to_string(number);
  return *this;
}

JsonObject& JsonObject::flag(std::string_view key, bool flag) {
  this->key(key);
  text_ += flag ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::json(std::string_view key, std::string_view json) {
  this->key(key);
  text_ += json;
  return *this;
}

JsonArray& JsonArray::json(std::string_view json) {
  if (text_.size() > 1) text_ += ",";
  text_ += json;
  return *this;
}

}  // namespace msifter::cli
