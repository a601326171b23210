#pragma once
// The main window's check boxes: one name each for the window, the settings
// store and the target list.

namespace msifter::common {

enum class Check {
  SubFolder,
  LimitCount,
  LimitMinSize,
  LimitMaxSize,
  Slowly,
  Copy,
  AllFile,
  Graphics,
  BMP,
  GIF,
  TIFF,
  JPG,
  PNG,
  PCD,
  Other,
  ExtFix
};

}  // namespace msifter::common
