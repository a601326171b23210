// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options of one run as the user gives them, in the window or on the
// command line, and as the settings store keeps them; and the small tables
// they choose from: the image types, and the choices (the rename methods,
// the stamps, the video times). The option table (option_table.h) says
// where each option lives.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/controls.h"

namespace msifter::options {

enum class RenameMethod : int { DateTime = 0, SerialNumber = 1 };

// A rename method under each of its names.
struct RenameMethodRow {
  RenameMethod choice;
  int32_t stored;      // bytBytRenameMethod
  const char* word;    // the journal's "names" line
  const char* flag;    // the command line's switch
  const char* button;  // the window's option button
};

inline constexpr RenameMethodRow kRenameMethods[] = {
    {RenameMethod::DateTime, 0, "date-time", "--date-time", "optDateNum"},
    {RenameMethod::SerialNumber, 1, "serial", "--serial", "optSerialNum"},
};

enum class ImageType { BMP, GIF, TIFF, JPG, PNG, PCD };

// An image type under each of its names, in the order the target list and
// the stored choice list them.
struct ImageTypeRow {
  ImageType type;
  Check box;          // its check box in the window
  const char* token;  // in strGraphics, compared exactly
  const char* items;  // its target list items
  const char* names;  // the command line's names for it, lower case, by ","
};

inline constexpr ImageTypeRow kImageTypes[] = {
    {ImageType::BMP, Check::BMP, "*.BMP", "*.BMP", "bmp"},
    {ImageType::GIF, Check::GIF, "*.GIF", "*.GIF", "gif"},
    {ImageType::TIFF, Check::TIFF, "*.TIFF", "*.TIFF;*.TIF", "tiff,tif"},
    {ImageType::JPG, Check::JPG, "*.JPG", "*.JPG;*.JPEG", "jpg,jpeg"},
    {ImageType::PNG, Check::PNG, "*.PNG", "*.PNG", "png"},
    {ImageType::PCD, Check::PCD, "*.PCD", "*.PCD", "pcd"},
};

// The command line's name of an image type in any case ("JPEG", "tif");
// nothing for a name of none.
std::optional<ImageType> imageTypeNamed(std::string_view name);

// A choice of image types.
class ImageTypes {
 public:
  bool has(ImageType type) const { return (bits_ & bit(type)) != 0; }
  void set(ImageType type, bool on) { bits_ = on ? bits_ | bit(type) : bits_ & ~bit(type); }
  bool any() const { return bits_ != 0; }
  bool operator==(const ImageTypes&) const = default;

 private:
  static unsigned bit(ImageType type) { return 1u << static_cast<unsigned>(type); }
  unsigned bits_ = 0;
};

// Which moment a date-time name takes, its word on the command line and its
// number in the settings store.
enum class StampChoice { Transfer, Capture };
struct StampChoiceRow {
  StampChoice choice;
  const char* word;
  int32_t stored;  // bytStamp
};
inline constexpr StampChoiceRow kStampChoices[] = {{StampChoice::Transfer, "transfer", 0},
                                                   {StampChoice::Capture, "capture", 1}};

// How a film's movie header is read: as UTC, which its format says, or as
// the camera's local clock, which some cameras write there.
enum class VideoTime { Utc, Local };
struct VideoTimeRow {
  VideoTime choice;
  int32_t stored;    // in the settings store
  const char* word;  // on the command line and in the journal
};
inline constexpr VideoTimeRow kVideoTimes[] = {{VideoTime::Utc, 0, "utc"},
                                               {VideoTime::Local, 1, "local"}};

// The tables of choices (the rename methods, the stamps, the video times),
// each found by the type of its choice and read alike. A table's first row
// is its default.
inline const auto& choicesOf(RenameMethod) { return kRenameMethods; }
inline const auto& choicesOf(StampChoice) { return kStampChoices; }
inline const auto& choicesOf(VideoTime) { return kVideoTimes; }

template <class T>
concept TableChoice = requires(T choice) {
  choicesOf(choice);
};

// A choice's row; the default's for a value that names none.
template <class Choice>
const auto& choiceRow(Choice choice) {
  const auto& table = choicesOf(choice);
  for (const auto& row : table) {
    if (row.choice == choice) return row;
  }
  return table[0];
}

// The choice the settings store keeps as `stored`; nothing for a number
// that names none.
template <class Choice>
std::optional<Choice> storedChoice(int32_t stored) {
  for (const auto& row : choicesOf(Choice{})) {
    if (row.stored == stored) return row.choice;
  }
  return std::nullopt;
}

// The choice whose word is `word`, in that case; nothing for a word of none.
template <class Choice>
std::optional<Choice> choiceNamed(std::string_view word) {
  for (const auto& row : choicesOf(Choice{})) {
    if (word == row.word) return row.choice;
  }
  return std::nullopt;
}

// Added to every capture time of a run: a camera whose clock was wrong.
struct TimeShift {
  int32_t seconds = 0;
  bool operator==(const TimeShift&) const = default;
};
// 99999:59:59 either way, well over ten years.
inline constexpr int32_t kLongestTimeShift = 99999 * 3600 + 59 * 60 + 59;
// "[+-]H:MM[:SS]" (hours of one to five digits, minutes and seconds of two,
// below 60); nothing for any other text.
std::optional<TimeShift> parseTimeShift(std::string_view text);
// "+1:00:00", "-0:30:05": what parseTimeShift reads back.
std::string timeShiftText(TimeShift shift);

// The exact extensions of a list as typed ("cr2,.NEF;heic"): the pieces
// between "," and ";", each without a dot in front, empty pieces left out.
// Their case is kept; they are compared without it.
std::vector<std::string> extensionItems(std::string_view text);

// Every option of a run. A new option is a field here and a row of the
// option table; the member's initialiser is its default, which the store
// also gives for a value it does not hold.
struct RunOptions {
  std::string serverDir;
  std::string receiveDir;
  bool useCountLimit = false;
  int32_t countLimit = 0;
  bool subFolder = false;
  bool useMinSize = false;
  int32_t minSizeKb = 0;
  bool useMaxSize = false;
  int32_t maxSizeKb = 0;
  bool slowly = false;
  bool copyFiles = false;
  bool allFile = false;
  bool graphics = false;
  ImageTypes images{};
  bool other = false;
  std::string otherText;  // as typed: ";"-separated items
  // Files whose extension (the text after the last dot) is one of these.
  bool useExtensions = false;
  std::string extensions;  // ";"-separated, see extensionItems
  RenameMethod renameMethod = RenameMethod::DateTime;
  bool extFix = false;
  // Capture times corrected.
  TimeShift timeShift{};
  VideoTime videoTime = VideoTime::Utc;
  // The import options: the command line's, and the window's through its
  // import dialog, kept in the store.
  StampChoice stamp = StampChoice::Transfer;
  bool skipIdentical = false;
  // Subfolders of the destination by each file's date ("%Y/%m/%d";
  // folder_template.h); empty: every file straight into the destination.
  std::string folders;
  // A photo and its companions (IMG_0001.CR2, .JPG, .XMP) share one name's
  // prefix and folder; only with names by the capture time.
  bool groups = true;
  std::string backupDir;
  // Given on the command line only.
  bool dryRun = false;

  bool operator==(const RunOptions&) const = default;
};

}  // namespace msifter::options
