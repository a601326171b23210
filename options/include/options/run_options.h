#pragma once
// The options of one run as the user gives them, in the window or on the
// command line, and as the settings store keeps them; and the two small
// tables they choose from, the rename methods and the image types. The
// option table (option_table.h) says where each option lives.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "options/controls.h"

namespace msifter::options {

enum class RenameMethod : int { DateTime = 0, SerialNumber = 1 };

// A rename method under each of its names.
struct RenameMethodRow {
  RenameMethod method;
  int32_t stored;           // bytBytRenameMethod
  const char* journalWord;  // the journal's "names" line
  const char* flag;         // the command line's switch
  const char* button;       // the window's option button
};

inline constexpr RenameMethodRow kRenameMethods[] = {
    {RenameMethod::DateTime, 0, "date-time", "--date-time", "optDateNum"},
    {RenameMethod::SerialNumber, 1, "serial", "--serial", "optSerialNum"},
};

const RenameMethodRow& renameMethodRow(RenameMethod method);
// Nothing for a number or a word that names no method.
std::optional<RenameMethod> storedRenameMethod(int32_t stored);
std::optional<RenameMethod> journalRenameMethod(std::string_view word);

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

// Which moment a date-time name takes, and its word on the command line.
enum class StampChoice { Transfer, Capture };
struct StampChoiceRow {
  StampChoice choice;
  const char* word;
};
inline constexpr StampChoiceRow kStampChoices[] = {{StampChoice::Transfer, "transfer"},
                                                   {StampChoice::Capture, "capture"}};

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
  RenameMethod renameMethod = RenameMethod::DateTime;
  bool extFix = false;
  // Subfolders of the destination by each file's date ("%Y/%m/%d";
  // folder_template.h); empty: every file straight into the destination.
  std::string folders;
  // A photo and its companions (IMG_0001.CR2, .JPG, .XMP) share one name's
  // prefix and folder; only with names by the capture time.
  bool groups = true;
  // Given on the command line only.
  StampChoice stamp = StampChoice::Transfer;
  bool skipIdentical = false;
  bool dryRun = false;

  bool operator==(const RunOptions&) const = default;
};

}  // namespace msifter::options
