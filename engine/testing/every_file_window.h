#pragma once
// A window for runs started without one (tests, benchmarks): every file of
// the snapshot's source qualifies, its checks pass, nothing is shown or saved,
// and the summary line is kept for the caller.
#include <string>

#include "engine/run.h"

namespace msifter::testing {

class EveryFileWindow : public engine::ExecuteWindow {
 public:
  engine::TransferOptions snapshot;
  std::string summary;

  bool isChecked(common::Check box) const override { return box == common::Check::AllFile; }
  std::string otherText() const override { return ""; }
  bool checkSettings() override { return true; }
  void enterBusyState() override {}
  void saveSettings() override {}
  engine::TransferOptions takeSnapshot() override { return snapshot; }
  engine::ProgressLabel* progressLabel() override { return &label_; }
  void showSummary(const std::string& text) override { summary = text; }
  void leaveBusyState() override {}

 private:
  struct : engine::ProgressLabel {
    void setCaption(const std::string&) override {}
  } label_;
};

}  // namespace msifter::testing
