// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A source and a destination folder in a fresh environment: what every test
// of a transfer run begins with.
#include <filesystem>

#include "engine/run.h"
#include "isolated_test.h"

namespace msifter::testing {

class TransferTestBase : public IsolatedTest {
 protected:
  std::filesystem::path src = env.root() / "src";
  std::filesystem::path dst = env.root() / "dst";
  engine::TransferOptions options;

  void SetUp() override {
    IsolatedTest::SetUp();
    std::filesystem::create_directories(src);
    std::filesystem::create_directories(dst);
    options.serverDir = src.string();
    options.receiveDir = dst.string();
  }
};

}  // namespace msifter::testing
