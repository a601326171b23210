// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What --json writes: one JSON document on standard output.
//
// Paths are the file system's raw bytes, which need not be UTF-8. A string
// keeps every valid UTF-8 sequence as it is and writes each byte that is not
// part of one as the escape \udcXX (XX: the byte in hex), a lone low
// surrogate that no valid text contains; Python's
// json.loads(...).encode("utf-8", "surrogateescape") gives the bytes back.
#include <cstdint>
#include <string>
#include <string_view>

namespace msifter::cli {

// A JSON string literal, quotes included.
std::string jsonString(std::string_view bytes);

// Builds one object, member by member, in the order added.
class JsonObject {
 public:
  JsonObject& text(std::string_view key, std::string_view text);
  JsonObject& number(std::string_view key, int64_t number);
  JsonObject& flag(std::string_view key, bool flag);
  // `json` is written as it is: an object, an array or null.
  JsonObject& json(std::string_view key, std::string_view json);
  std::string str() const { return text_ + "}"; }

 private:
  void key(std::string_view key);
  std::string text_ = "{";
};

// Builds one array of JSON values.
class JsonArray {
 public:
  JsonArray& json(std::string_view json);
  std::string str() const { return text_ + "]"; }

 private:
  std::string text_ = "[";
};

}  // namespace msifter::cli
