// The window's options copied for the settings store to write away from the
// window thread.
#include "settings/window_values.h"

#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using settings::Check;
using settings::FolderLabel;
using settings::Option;
using settings::Text;

constexpr int kChecks = static_cast<int>(Check::ExtFix) + 1;
constexpr int kTexts = static_cast<int>(Text::Other) + 1;

TEST(WindowValues, CopyEveryOptionAsTheWindowShowsIt) {
  // Two opposite patterns, so that no option can pass by keeping a default.
  for (const int pattern : {0, 1}) {
    SCOPED_TRACE(pattern);
    FrmMenu menu;
    settings::SettingsWindow& window = menu.settingsView();
    for (int i = 0; i < kChecks; ++i) {
      window.setValue(static_cast<Check>(i), (i + pattern) % 2);
      window.setEnabled(static_cast<Check>(i), (i + pattern) % 3 != 0);
    }
    for (int i = 0; i < kTexts; ++i) {
      window.setText(static_cast<Text>(i), std::to_string(10 * i + pattern));
      window.setTextEnabled(static_cast<Text>(i), (i + pattern) % 2 == 0);
    }
    window.setCaption(FolderLabel::ServerDir, "/source/" + std::to_string(pattern));
    window.setCaption(FolderLabel::ReceiveDir, "/destination/写真" + std::to_string(pattern));
    window.select(pattern == 1 ? Option::SerialNum : Option::DateNum);

    const settings::WindowValues copy(window);

    for (int i = 0; i < kChecks; ++i) {
      EXPECT_EQ(copy.value(static_cast<Check>(i)), window.value(static_cast<Check>(i)))
          << "check " << i;
      EXPECT_EQ(copy.isEnabled(static_cast<Check>(i)), window.isEnabled(static_cast<Check>(i)))
          << "check " << i;
    }
    for (int i = 0; i < kTexts; ++i) {
      EXPECT_EQ(copy.text(static_cast<Text>(i)), window.text(static_cast<Text>(i))) << "text " << i;
      EXPECT_EQ(copy.isTextEnabled(static_cast<Text>(i)),
                window.isTextEnabled(static_cast<Text>(i)))
          << "text " << i;
    }
    EXPECT_EQ(copy.caption(FolderLabel::ServerDir), "/source/" + std::to_string(pattern));
    EXPECT_EQ(copy.caption(FolderLabel::ReceiveDir), "/destination/写真" + std::to_string(pattern));
    EXPECT_EQ(copy.isSelected(Option::SerialNum), pattern == 1);
    EXPECT_EQ(copy.isSelected(Option::DateNum), pattern == 0);
  }
}

}  // namespace
}  // namespace msifter::ui::testing
