#include "engine/file_helpers.h"

#include <chrono>
#include <limits>
#include <thread>

#include "common/error.h"
#include "objects/path.h"
#include "platform/directory.h"
#include "platform/folders.h"

namespace msifter::engine {

using common::guardLog;

std::string gGetFileExt(const std::string& path) {
  return guardLog("gGetFileExt", std::string(), [&] {
    objects::cPath p;
    p.setFileName(path);
    return p.GetExt();
  });
}

std::string gGetFileNameOnly(const std::string& path) {
  return guardLog("gGetFileNameOnly", std::string(" "), [&] {
    objects::cPath p;
    p.setFileName(path);
    return p.GetFileNameOnly();
  });
}

std::string gUnRoot(std::string path) {
  return guardLog("gUnRoot", std::string("False"), [&] {
    if (!path.empty() && path.back() == platform::kSeparator) path.pop_back();
    return path;
  });
}

bool gChkDirExists(std::string path, bool skipDriveTest) {
  return guardLog("gChkDirExists", false, [&] {
    const bool wasRoot = !path.empty();
    path = gUnRoot(path);
    if constexpr (platform::kDriveLetters) {
      if (!skipDriveTest && !path.empty() && path.back() == ':')
        return gChkDriveMediaCondition(path);
    } else {
      (void)skipDriveTest;
      // "/" loses its only character to gUnRoot; the root folder exists.
      if (path.empty() && wasRoot) path.assign(1, platform::kSeparator);
    }
    if (!platform::entryExists(path)) return false;
    // The entry found is named by the last component, which may be "." or
    // "..": those are not taken as a folder of their own.
    const std::size_t sep = path.find_last_of(platform::kSeparator);
    const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    return name != "." && name != ".." && (!name.empty() || path.size() == 1);
  });
}

bool gProcSleep(int32_t milliseconds) {
  return guardLog("gProcSleep", false, [&] {
    if (milliseconds < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return true;
  });
}

// Replaces from left to right, at most maxCount times counted in doneCount.
// On return doneCount is one more than the replacements made when the text
// ran out of occurrences, and equals maxCount when the limit stopped it.
bool gProcTransString(std::string& text, const std::string& findText,
                      const std::string& replaceText, int32_t maxCount, int32_t& doneCount) {
  return guardLog("gProcTransString", false, [&] {
    std::size_t start = 0;
    for (;;) {
      // An empty findText is never found: it would otherwise "match" forever.
      const std::size_t at = findText.empty() ? std::string::npos : text.find(findText, start);
      if (doneCount == maxCount) return true;
      if (doneCount == std::numeric_limits<int32_t>::max()) common::fail(common::err::Overflow);
      ++doneCount;
      if (at == std::string::npos) return true;
      text.replace(at, findText.size(), replaceText);
      start = at + replaceText.size();
    }
  });
}

std::string gGetSpaceString1(const std::string& text, int32_t width, const std::string& padChar,
                             int32_t side) {
  return guardLog("gGetSpaceString1", text, [&] {
    std::string result = text;
    if (gGetByteLength(padChar) == 1 && width >= 0) {
      const int64_t k = int64_t{width} - gGetByteLength(text);
      if (k >= 0) {
        const std::string pad(static_cast<std::size_t>(k), padChar[0]);
        if (side == 1) {
          result.insert(0, pad);
        } else if (side == 2) {
          result.append(pad);
        } else {
          gProcNothing();
        }
      }
    }
    return result;
  });
}

int32_t gGetByteLength(const std::string& text) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(text.size() < kMax ? text.size() : kMax);
}

int64_t gGetTickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool gProcNothing() { return true; }

}  // namespace msifter::engine
