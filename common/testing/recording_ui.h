// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A UiServices double for tests: records every box, busy change, event pass,
// shell request and end, answers boxes from a script, and ends the program by
// throwing ProgramEnded so the test process goes on.
#include <deque>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/ui_services.h"

namespace msifter::testing {

struct RecordedBox {
  std::string text;
  int style = 0;
  std::string title;
};

class RecordingUi : public common::UiServices {
 public:
  // Installs itself for the lifetime of the object.
  RecordingUi() { common::setUi(this); }
  ~RecordingUi() override { common::setUi(nullptr); }
  RecordingUi(const RecordingUi&) = delete;
  RecordingUi& operator=(const RecordingUi&) = delete;

  int messageBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    if (answers.empty()) return common::answer::Ok;
    const int next = answers.front();
    answers.pop_front();
    return next;
  }
  void setBusyCursor(bool busy) override { busyChanges.push_back(busy); }
  void processEvents() override { ++eventPasses; }
  bool shellExecute(const std::string& target, int showCommand) override {
    shellRequests.emplace_back(target, showCommand);
    return shellSucceeds;
  }
  bool endProcessing() override {
    ++endProcessingCalls;
    return endProcessingSucceeds;
  }
  [[noreturn]] void endProgram(int exitCode) override {
    endCodes.push_back(exitCode);
    throw common::ProgramEnded{exitCode};
  }

  std::vector<RecordedBox> boxes;
  std::vector<bool> busyChanges;
  int eventPasses = 0;
  std::vector<std::pair<std::string, int>> shellRequests;
  int endProcessingCalls = 0;
  std::vector<int> endCodes;

  // Answers for the next boxes, in order; afterwards every box answers OK.
  std::deque<int> answers;
  bool shellSucceeds = true;
  bool endProcessingSucceeds = true;
};

}  // namespace msifter::testing
