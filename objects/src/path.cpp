// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/path.h"

#include "common/case_mapping.h"
#include "common/paths.h"
#include "platform/folders.h"

namespace msifter::objects {

std::string cPath::GetFileName() const {
  const std::size_t sep = fileName_.rfind(platform::kSeparator);
  if (sep != std::string::npos) return fileName_.substr(sep + 1);
  if constexpr (platform::kDriveLetters) {
    const std::size_t colon = fileName_.find(':');
    if (colon != std::string::npos) return fileName_.substr(colon + 1);
  }
  return fileName_;
}

std::string cPath::GetExt() const {
  const std::string name = GetFileName();
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
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
  std::string name = GetFileName();
  // The part before the extension's dot (GetExt's, without a second copy).
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot + 1 < name.size()) {
    name.resize(dot);
    return name;
  }
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
  return name;
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
