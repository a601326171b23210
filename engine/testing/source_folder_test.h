// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A source folder to search in a fresh environment, and the label double
// that keeps every caption a search shows.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/finder.h"
#include "isolated_test.h"

namespace msifter::testing {

class RecordingLabel : public engine::ProgressLabel {
 public:
  void setCaption(const std::string& caption) override { captions.push_back(caption); }
  std::vector<std::string> captions;
};

class SourceFolderTest : public IsolatedTest {
 protected:
  // The source folder without a trailing separator, or a path inside it.
  std::string dir(const std::string& relative = "") const {
    const std::filesystem::path top = env.root() / "src";
    return (relative.empty() ? top : top / relative).string();
  }
  void file(const std::string& relative, std::size_t size = 0) const {
    env.writeFile(std::filesystem::path("src") / relative, size);
  }

  RecordingLabel label;
};

}  // namespace msifter::testing
