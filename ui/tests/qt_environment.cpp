// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication for every test of this program, created before any test
// builds a widget.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "ui/appearance.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QApplication>(argc_, argv_);
    msifter::ui::installFontSubstitutions();
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "ui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// gtest owns registered environments.
const auto* const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<QtEnvironment>().release());

}  // namespace
