// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/thread_owner.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/failure.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::common {
namespace {

#ifndef NDEBUG
// A report shows its dialog while a second thread reaches for the state the
// report holds.
class InterruptedReport : public testing::RecordingUi {
 public:
  explicit InterruptedReport(void (*second)()) : second_(second) {}
  int messageBox(const std::string&, int, const std::string&) override {
    std::thread(second_).join();
    return answer::Ok;
  }

 private:
  void (*second_)();
};

void reportFromTwoThreads(void (*second)()) {
  testing::TempEnv env;
  InterruptedReport ui(second);
  gblnNoErrDialog = false;
  gProcError("first", "");
}
#endif

TEST(ThreadOwnerDeathTest, ASecondThreadStopsADebugBuildWhileAReportHoldsTheState) {
#ifdef NDEBUG
  GTEST_SKIP() << "release builds do not check";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(reportFromTwoThreads([] { clearError(); }), "CurrentError: touched by a second");
  EXPECT_DEATH(reportFromTwoThreads([] { gProcError("second", ""); }),
               "the report depth: touched by a second");
#endif
}

TEST(ThreadOwner, ThreadsTakeTheStateInTurns) {
  testing::TempEnv env;
  testing::RecordingUi ui;
  gblnNoErrDialog = true;
  std::thread([] { gProcError("worker", ""); }).join();
  gProcError("window", "");
  gblnNoErrDialog = false;
  EXPECT_NE(env.errorLog().find("window (m_sifter)"), std::string::npos);
}

}  // namespace
}  // namespace msifter::common
