// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's controls that show a run's options, by what the option
// table, the settings procedures and the window call them.
#include <array>

namespace msifter::options {

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

enum class Text { LimitCount, LimitMinSize, LimitMaxSize, Other };
enum class FolderLabel { ServerDir, ReceiveDir };
// Where a failed check puts the focus.
enum class Focus { ServerSelect, ReceiveSelect, LimitMinSize, LimitMaxSize };

}  // namespace msifter::options
