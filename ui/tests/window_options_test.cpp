// SPDX-License-Identifier: GPL-3.0-or-later
// The window's options taken as values, as Execute takes them to check,
// save and run them, and shown again, as a load shows them.
#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using settings::Check;
using settings::FolderLabel;
using settings::RenameMethod;
using settings::Text;

constexpr int kChecks = static_cast<int>(Check::ExtFix) + 1;
constexpr int kTexts = static_cast<int>(Text::Other) + 1;

TEST(WindowOptions, EveryOptionAsTheWindowShowsItComesBackWhole) {
  // Two opposite patterns, so that no option can pass by keeping a default.
  for (const int pattern : {0, 1}) {
    SCOPED_TRACE(pattern);
    FrmMenu menu;
    settings::SettingsWindow& window = menu.settingsView();
    for (int i = 0; i < kChecks; ++i) window.setValue(static_cast<Check>(i), (i + pattern) % 2);
    for (int i = 0; i < kTexts; ++i)
      window.setText(static_cast<Text>(i), std::to_string(10 * i + pattern));
    window.setCaption(FolderLabel::ServerDir, "/source/" + std::to_string(pattern));
    window.setCaption(FolderLabel::ReceiveDir, "/destination/写真" + std::to_string(pattern));
    window.select(pattern == 1 ? RenameMethod::SerialNumber : RenameMethod::DateTime);

    const options::RunOptions taken = settings::optionsFromWindow(window);
    EXPECT_EQ(taken.minSizeKb, 10 + pattern);
    EXPECT_EQ(taken.otherText, std::to_string(30 + pattern));
    EXPECT_EQ(taken.images.has(options::ImageType::BMP), window.value(Check::BMP) == 1);

    FrmMenu other;
    settings::SettingsWindow& shown = other.settingsView();
    settings::showOptions(shown, taken);
    for (int i = 0; i < kChecks; ++i) {
      EXPECT_EQ(shown.value(static_cast<Check>(i)), window.value(static_cast<Check>(i)))
          << "check " << i;
    }
    for (int i = 0; i < kTexts; ++i)
      EXPECT_EQ(shown.text(static_cast<Text>(i)), window.text(static_cast<Text>(i)))
          << "text " << i;
    EXPECT_EQ(shown.caption(FolderLabel::ServerDir), "/source/" + std::to_string(pattern));
    EXPECT_EQ(shown.caption(FolderLabel::ReceiveDir),
              "/destination/写真" + std::to_string(pattern));
    EXPECT_EQ(shown.isSelected(RenameMethod::SerialNumber), pattern == 1);
    EXPECT_EQ(shown.isSelected(RenameMethod::DateTime), pattern == 0);
  }
}

}  // namespace
}  // namespace msifter::ui::testing
