// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An empty source and destination folder in a private temporary folder:
// where every test of a transfer between two folders starts.
#include <gtest/gtest.h>

#include <filesystem>

#include "temp_env.h"

namespace msifter::testing {

class FolderPairTest : public ::testing::Test {
 protected:
  TempEnv env;
  std::filesystem::path src = env.root() / "src";
  std::filesystem::path dst = env.root() / "dst";
  void SetUp() override {
    std::filesystem::create_directories(src);
    std::filesystem::create_directories(dst);
  }
};

}  // namespace msifter::testing
