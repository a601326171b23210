#pragma once
// When a photo or film was taken, for names that sort by it.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace msifter::cli {

enum class CaptureSource { Exif, Xmp, QuickTime, Modified };

struct CaptureTime {
  std::tm local{};  // broken-down local wall-clock time, seconds precision
  CaptureSource source = CaptureSource::Modified;
};

// When the photo or film at `path` was taken: EXIF DateTimeOriginal, else the XMP
// creation date (exif:DateTimeOriginal, xmp:CreateDate, photoshop:DateCreated), else the
// QuickTime/MP4 creation time (moov/mvhd, seconds since 1904 in UTC: converted to local
// time), else the file's modification time (local). Empty only when the file cannot be read
// at all. Never throws; a damaged file falls through to the next source.
std::optional<CaptureTime> readCaptureTime(const std::string& path);

// "2022:01:02 03:04:05" as EXIF writes it (also with "-" in the date, "T" before the
// time, a fraction or a zone after it, all left out). Empty unless a whole valid date and
// time.
std::optional<std::tm> parseExifDateTime(std::string_view text);
// An XMP date, from "2022" to "2022-01-02T03:04:05.67+09:00"; missing parts are the first
// month, day or moment, and the zone is left out: the wall-clock time is taken as written.
std::optional<std::tm> parseXmpDate(std::string_view text);

}  // namespace msifter::cli
