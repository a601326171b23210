// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/target_list.h"

#include <limits>

#include "common/case_mapping.h"
#include "common/failure.h"
#include "engine/transfer_options.h"

namespace msifter::engine {

namespace {

// The user's text is taken as typed: several items, pattern characters and
// spaces all stay. An item of it that starts with the mark of an exact
// extension has always matched nothing, as no name holds a "/": it still
// does, as "[/]...".
void appendOtherItems(std::string_view text, std::string& list) {
  std::string upper = common::upperCase(text);
  for (std::size_t start = 0; start < upper.size();) {
    if (upper[start] == kExactExtension) upper.replace(start, 1, "[/]");
    const std::size_t separator = upper.find(';', start);
    if (separator == std::string::npos) break;
    start = separator + 1;
  }
  list += upper;
}

}  // namespace

bool gGetSettingData_GraphicsExtension(const options::RunOptions& options, std::string& list) {
  return common::guardLog("gGetSettingData_GraphicsExtension", false, [&] {
    if (!options.graphics) return true;
    list.clear();
    for (const options::ImageTypeRow& row : options::kImageTypes) {
      if (options.images.has(row.type)) list.append(row.items).append(1, ';');
    }
    if (!list.empty()) list.pop_back();
    return true;
  });
}

bool gGetSettingData_TargetExtension(const options::RunOptions& options, std::string& list) {
  return common::guardLog("gGetSettingData_TargetExtension", false, [&] {
    list.clear();
    if (options.allFile) {
      list.assign(1, '*');
      return true;
    }
    if (!gGetSettingData_GraphicsExtension(options, list)) {
      common::gProcError("gGetSettingData_TargetExtension", "");
      return false;
    }
    if (options.useExtensions) {
      for (const std::string& extension : options::extensionItems(options.extensions)) {
        if (!list.empty()) list += ';';
        list += kExactExtension;
        common::appendUpperCase(extension, list);
      }
    }
    if (options.other) {
      if (!list.empty()) list += ';';
      appendOtherItems(options.otherText, list);
    }
    return true;
  });
}

bool takeSnapshot(const options::RunOptions& options, TransferOptions& snapshot) {
  snapshot =
      TransferOptions{.serverDir = options.serverDir,
                      .receiveDir = options.receiveDir,
                      .targetList = {},
                      .subFolder = options.subFolder,
                      .bounds = {.useMinSize = options.useMinSize,
                                 .minSizeBytes = int64_t{options.minSizeKb} * 1024,
                                 .useMaxSize = options.useMaxSize,
                                 .maxSizeBytes = int64_t{options.maxSizeKb} * 1024,
                                 .useCountLimit = options.useCountLimit,
                                 .countLimit = options.countLimit},
                      .copyFiles = options.copyFiles,
                      .renameMethod = options.renameMethod,
                      .extFix = options.extFix,
                      .slowly = options.slowly,
                      .stamp = options.stamp,
                      .timeShift = options.timeShift,
                      .videoTime = options.videoTime,
                      .skipIdentical = options.skipIdentical,
                      .backupDir = options.backupDir,
                      .folders = options.folders,
                      .groups = options.groups && options.stamp == options::StampChoice::Capture};
  return gGetSettingData_TargetExtension(options, snapshot.targetList);
}

// Empty pieces between two delimiters, or before a leading one, are kept as
// empty items; a delimiter at the very end adds no item. Without any
// delimiter in `text` the whole text becomes item 0 and lastIndex is left
// alone. Afterwards lastIndex is the index of the last item.
bool gProcCharSplit(std::string text, std::string delimiter, std::vector<std::string>& items,
                    int32_t& lastIndex) {
  return common::guardLog("gProcCharSplit", false, [&] {
    if (delimiter.empty()) return true;
    if (text.find(delimiter) == std::string::npos) {
      items.assign(1, text);
      return true;
    }
    std::size_t start = 0;
    for (;;) {
      if (lastIndex < 0) common::fail(common::err::Subscript);
      std::size_t end = text.find(delimiter, start);
      if (end == std::string::npos) end = text.size();
      items.resize(static_cast<std::size_t>(lastIndex) + 1);
      items[static_cast<std::size_t>(lastIndex)] = text.substr(start, end - start);
      start = end + delimiter.size();
      if (start >= text.size()) return true;
      if (lastIndex == std::numeric_limits<int32_t>::max()) common::fail(common::err::Overflow);
      ++lastIndex;
    }
  });
}

}  // namespace msifter::engine
