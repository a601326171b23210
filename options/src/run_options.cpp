#include "options/run_options.h"

#include "common/case_mapping.h"
#include "common/text.h"

namespace msifter::options {

const RenameMethodRow& renameMethodRow(RenameMethod method) {
  for (const RenameMethodRow& row : kRenameMethods) {
    if (row.method == method) return row;
  }
  return kRenameMethods[0];
}

std::optional<RenameMethod> storedRenameMethod(int32_t stored) {
  for (const RenameMethodRow& row : kRenameMethods) {
    if (row.stored == stored) return row.method;
  }
  return std::nullopt;
}

std::optional<RenameMethod> journalRenameMethod(std::string_view word) {
  for (const RenameMethodRow& row : kRenameMethods) {
    if (row.journalWord == word) return row.method;
  }
  return std::nullopt;
}

std::optional<ImageType> imageTypeNamed(std::string_view name) {
  const std::string lower = common::lowerCase(name);
  for (const ImageTypeRow& row : kImageTypes) {
    for (const std::string& known : common::splitAt(row.names, ",")) {
      if (lower == known) return row.type;
    }
  }
  return std::nullopt;
}

}  // namespace msifter::options
