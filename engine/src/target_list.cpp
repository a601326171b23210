#include "engine/target_list.h"

#include <limits>

#include "common/case_mapping.h"
#include "common/failure.h"

namespace msifter::engine {

using common::Check;

namespace {

struct ImageItems {
  Check box;
  const char* items;
};

// In the order the items are added to the list.
constexpr ImageItems kImageItems[] = {
    {Check::BMP, "*.BMP;"},        {Check::GIF, "*.GIF;"}, {Check::TIFF, "*.TIFF;*.TIF;"},
    {Check::JPG, "*.JPG;*.JPEG;"}, {Check::PNG, "*.PNG;"}, {Check::PCD, "*.PCD;"},
};

}  // namespace

bool gGetSettingData_GraphicsExtension(const TargetTypeSource& window, std::string& list) {
  return common::guardLog("gGetSettingData_GraphicsExtension", false, [&] {
    if (!window.isChecked(Check::Graphics)) return true;
    list.clear();
    for (const auto& row : kImageItems) {
      if (window.isChecked(row.box)) list += row.items;
    }
    if (!list.empty()) list.pop_back();
    return true;
  });
}

bool gGetSettingData_TargetExtension(const TargetTypeSource& window, std::string& list) {
  return common::guardLog("gGetSettingData_TargetExtension", false, [&] {
    list.clear();
    if (window.isChecked(Check::AllFile)) {
      list.assign(1, '*');
      return true;
    }
    if (!gGetSettingData_GraphicsExtension(window, list)) {
      common::gProcError("gGetSettingData_TargetExtension", "");
      return false;
    }
    if (window.isChecked(Check::Other)) {
      if (!list.empty()) list += ';';
      // The user's text is taken as typed: several items, pattern characters
      // and spaces all stay.
      common::appendUpperCase(window.otherText(), list);
    }
    return true;
  });
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
