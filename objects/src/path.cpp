// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/path.h"

#include <string_view>

#include "common/case_mapping.h"
#include "common/paths.h"
#include "platform/folders.h"

namespace msifter::objects {

namespace {

// The name after the last separator (or a drive's colon), as a view: asked
// several times for every file of a run.
std::string_view nameOf(std::string_view path) {
  const std::size_t sep = path.rfind(platform::kSeparator);
  if (sep != std::string_view::npos) return path.substr(sep + 1);
  if constexpr (platform::kDriveLetters) {
    const std::size_t colon = path.find(':');
    if (colon != std::string_view::npos) return path.substr(colon + 1);
  }
  return path;
}

}  // namespace

std::string cPath::GetFileName() const { return std::string(nameOf(fileName_)); }

std::string cPath::GetExt() const {
  const std::string_view name = nameOf(fileName_);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string cPath::GetPath() const {
  const std::size_t sep = fileName_.rfind(platform::kSeparator);
  if (sep != std::string::npos) return fileName_.substr(0, sep + 1);
  if constexpr (platform::kDriveLetters) {
    const std::size_t colon = fileName_.find(':');
    if (colon != std::string::npos) return fileName_.substr(0, colon + 1) + platform::kSeparator;
  }
  return "";
}

std::string cPath::AddDblQuot(bool NotCheckSpace) const {
  std::string text = fileName_;
  if (!NotCheckSpace && text.find_first_of(" ,") == std::string::npos) return text;
  // Both ends are judged on the text as given, so a lone quote or an empty
  // text still comes out as a balanced pair.
  const bool opened = !text.empty() && text.front() == '"';
  const bool closed = text.size() >= 2 && text.back() == '"';
  if (!opened) text.insert(text.begin(), '"');
  if (!closed) text.push_back('"');
  return text;
}

std::string cPath::GetFullPathName(const std::string& PathName, const std::string& FileName) const {
  return common::gAddBackslash(PathName) + FileName;
}

std::string cPath::GetFileNameOnly() const {
  const std::string_view name = nameOf(fileName_);
  // Without its extension (GetExt's) and that one's dot; a name that ends
  // in a dot loses the dot.
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string cPath::GetCleanFileName() const {
  return Capitalise(GetFileNameOnly()) + "." + Capitalise(GetExt());
}

std::string cPath::Capitalise(const std::string& text) {
  if (common::upperCase(text) != text) return text;  // has a lower-case letter: keep as written
  const std::string lower = common::lowerCase(text);
  if (lower.empty()) return lower;
  // The first character is one code point, or one byte that is not UTF-8.
  std::size_t first = 0;
  common::decodeUtf8(lower, first);
  std::string result = common::upperCase(std::string_view(lower).substr(0, first));
  result.append(lower, first);
  return result;
}

}  // namespace msifter::objects
