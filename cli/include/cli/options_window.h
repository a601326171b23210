#pragma once
// The main window without a window: its controls as plain values, filled
// from the command line (and on request from the window's saved settings),
// so that the settings procedures check a command-line run exactly as they
// check the window before a run.
#include <string>

#include "engine/run.h"
#include "settings/window_values.h"

namespace msifter::cli {

class OptionsWindow final : public settings::WindowValues, public engine::TargetTypeSource {
 public:
  bool isChecked(settings::Check box) const override { return value(box) != 0; }
  std::string otherText() const override { return text(settings::Text::Other); }

  // The run's options as the Execute command takes them from the window,
  // target list included. May throw RuntimeFailure (a number that does not
  // fit).
  engine::TransferOptions snapshot() const;
};

}  // namespace msifter::cli
