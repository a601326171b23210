#pragma once
// Which files a run takes: the target list, ";"-separated wildcard patterns
// built from the main window's file-type check boxes.
#include <cstdint>
#include <string>
#include <vector>

#include "common/check_box.h"

namespace msifter::engine {

// The window's file-type boxes, as the target list reads them.
class TargetTypeSource {
 public:
  virtual ~TargetTypeSource() = default;
  virtual bool isChecked(common::Check box) const = 0;
  virtual std::string otherText() const = 0;  // txtOTher as typed
};

bool gGetSettingData_GraphicsExtension(const TargetTypeSource& window, std::string& list);
bool gGetSettingData_TargetExtension(const TargetTypeSource& window, std::string& list);

// Splits `text` at `delimiter`; see the comments in the implementation for
// how empty pieces and a trailing delimiter are kept.
bool gProcCharSplit(std::string text, std::string delimiter, std::vector<std::string>& items,
                    int32_t& lastIndex);

}  // namespace msifter::engine
