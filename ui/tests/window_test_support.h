// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: one QApplication for the whole test program,
// and a fixture with a private folder, the recording services and the
// message catalogue of the build.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include "common/failure.h"
#include "common/msg.h"
#include "recording_ui.h"
#include "temp_env.h"

namespace msifter::ui::testing {

namespace fs = std::filesystem;

using msifter::testing::readText;

// Files of the given lengths in `source`, by their paths below it, and an
// empty `destination`: the folders of a run.
inline void makeRunFolders(const fs::path& source, const fs::path& destination,
                           std::initializer_list<std::pair<const char*, std::size_t>> files) {
  for (const auto& [name, size] : files)
    msifter::testing::writeText(source / name, std::string(size, 'x'));
  fs::create_directories(destination);
}

// A private folder and the recording services; nothing can block or end the
// test program.
class QtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.setVar("XDG_RUNTIME_DIR", (env.root() / "run").string());
    fs::create_directories(env.root() / "run");
    // A runtime folder is private to its user.
    fs::permissions(env.root() / "run", fs::perms::owner_all, fs::perm_options::replace);
    // As in the running program: reports go to the log only.
    common::gblnNoErrDialog = true;
  }

  msifter::testing::TempEnv env;
  msifter::testing::RecordingUi recorder;
};

// As QtTest, with the message catalogue that the build ships.
class WindowTest : public QtTest {
 protected:
  void SetUp() override {
    QtTest::SetUp();
    ASSERT_TRUE(common::gMsgInit(MSIFTER_APP_DIR "/sys/msg", common::kMsgPassword));
  }
};

}  // namespace msifter::ui::testing
