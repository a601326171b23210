#include <gtest/gtest.h>

#include "cli/options_window.h"
#include "cli/run_command.h"
#include "isolated_test.h"
#include "settings/settings_store.h"

namespace msifter::cli {
namespace {

using engine::RenameMethod;
using settings::Check;
using settings::FolderLabel;

class FillWindowTest : public testing::IsolatedTest {};

// --from-settings starts from what the window saved at its last run; every
// option given then overrides it, a file-type option the whole choice of
// types. Without it the window is a first start's.
void expectSameOptions(const engine::TransferOptions& got, const engine::TransferOptions& want) {
  EXPECT_EQ(got.serverDir, want.serverDir);
  EXPECT_EQ(got.receiveDir, want.receiveDir);
  EXPECT_EQ(got.targetList, want.targetList);
  EXPECT_EQ(got.subFolder, want.subFolder);
  EXPECT_EQ(std::make_pair(got.useMinSize, got.minSizeBytes),
            std::make_pair(want.useMinSize, want.minSizeBytes));
  EXPECT_EQ(std::make_pair(got.useCountLimit, got.countLimit),
            std::make_pair(want.useCountLimit, want.countLimit));
  EXPECT_EQ(got.copyFiles, want.copyFiles);
  EXPECT_EQ(got.renameMethod, want.renameMethod);
}

TEST_F(FillWindowTest, SavedSettingsThenTheOptionsGiven) {
  OptionsWindow last;
  last.setCaption(FolderLabel::ServerDir, "/media/card");
  last.setCaption(FolderLabel::ReceiveDir, "/photos");
  for (const Check box : {Check::AllFile, Check::SubFolder, Check::Copy, Check::LimitCount})
    last.setValue(box, 1);
  last.setText(settings::Text::LimitCount, "50");
  last.select(settings::Option::SerialNum);
  ASSERT_TRUE(settings::gSetSettingData(last, "2024/01/05 14:30:00"));

  struct Row {
    const char* name;
    RunRequest request;
    engine::TransferOptions expected;
  };
  const Row rows[] = {
      {.name = "as saved",
       .request = {.fromSettings = true},
       .expected = {.serverDir = "/media/card",
                    .receiveDir = "/photos",
                    .targetList = "*",
                    .subFolder = true,
                    .useCountLimit = true,
                    .countLimit = 50,
                    .copyFiles = true,
                    .renameMethod = RenameMethod::SerialNumber}},
      {.name = "overridden",
       .request = {.source = "/media/other",
                   .fromSettings = true,
                   .images = "jpg,TIF",
                   .subfolders = false,
                   .copy = false,
                   .serial = false,
                   .limit = 7},
       .expected = {.serverDir = "/media/other",
                    .receiveDir = "/photos",
                    .targetList = "*.TIFF;*.TIF;*.JPG;*.JPEG",
                    .useCountLimit = true,
                    .countLimit = 7}},
      {.name = "first start",
       .request = {.source = "/s", .destination = "/d", .other = "txt;doc", .minKb = 2},
       .expected = {.serverDir = "/s",
                    .receiveDir = "/d",
                    .targetList = "TXT;DOC",
                    .useMinSize = true,
                    .minSizeBytes = 2048}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OptionsWindow window;
    fillWindow(window, row.request);
    expectSameOptions(window.snapshot(), row.expected);
  }
  // Only read: the saved run is still the window's.
  settings::SavedSettings saved;
  ASSERT_TRUE(settings::gGetSettingData(saved));
  EXPECT_EQ(saved.serverDir, "/media/card");
  EXPECT_TRUE(saved.copy);
}

}  // namespace
}  // namespace msifter::cli
