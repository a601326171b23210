#pragma once
// The main window's check boxes: one name each for the window, the settings
// store and the target list.
#include <array>

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

inline constexpr std::array kAllChecks = {
    Check::SubFolder, Check::LimitCount, Check::LimitMinSize, Check::LimitMaxSize,
    Check::Slowly,    Check::Copy,       Check::AllFile,      Check::Graphics,
    Check::BMP,       Check::GIF,        Check::TIFF,         Check::JPG,
    Check::PNG,       Check::PCD,        Check::Other,        Check::ExtFix};

}  // namespace msifter::common
