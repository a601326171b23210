// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A test with a world of its own: a private temporary folder (TempEnv), the
// recording double for the window system, and error reports that go to the
// log alone, as they do once the program has started.
#include <gtest/gtest.h>

#include "common/failure.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::testing {

class IsolatedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    common::gblnNoErrDialog = true;
    common::clearError();
  }
  void TearDown() override { common::gblnNoErrDialog = false; }

  TempEnv env;
  RecordingUi ui;
};

}  // namespace msifter::testing
