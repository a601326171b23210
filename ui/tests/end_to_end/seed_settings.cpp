// seed_settings SOURCE DESTINATION
//
// Saves the main window's options as a run of the window would have saved
// them: both folders, every file, subfolders included, serial-number names.
// The window then starts with them, ready for 実 行.
#include <cstdio>

#include "settings/settings_store.h"
#include "settings/window_values.h"

int main(int argc, char** argv) {
  using namespace msifter::settings;
  if (argc != 3) {
    std::fprintf(stderr, "usage: seed_settings SOURCE DESTINATION\n");
    return 2;
  }
  WindowValues values;
  values.setCaption(FolderLabel::ServerDir, argv[1]);
  values.setCaption(FolderLabel::ReceiveDir, argv[2]);
  values.setValue(Check::AllFile, 1);
  values.setValue(Check::SubFolder, 1);
  values.select(Option::SerialNum);
  return gSetSettingData(values, "2024/01/01 00:00:00") ? 0 : 1;
}
