#include "recording_ui.h"

namespace msifter::testing {

RecordingUi::RecordingUi() { common::setUi(this); }

RecordingUi::~RecordingUi() { common::setUi(nullptr); }

int RecordingUi::messageBox(const std::string& text, int style, const std::string& title) {
  boxes.push_back({text, style, title});
  if (answers.empty()) return common::answer::Ok;
  const int next = answers.front();
  answers.pop_front();
  return next;
}

void RecordingUi::setBusyCursor(bool busy) { busyChanges.push_back(busy); }

void RecordingUi::processEvents() { ++eventPasses; }

bool RecordingUi::shellExecute(const std::string& target, int showCommand) {
  shellRequests.emplace_back(target, showCommand);
  return shellSucceeds;
}

bool RecordingUi::endProcessing() {
  ++endProcessingCalls;
  return endProcessingSucceeds;
}

void RecordingUi::endProgram(int exitCode) {
  endCodes.push_back(exitCode);
  throw common::ProgramEnded{exitCode};
}

}  // namespace msifter::testing
