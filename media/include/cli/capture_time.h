// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When a photo or film was taken, for names that sort by it.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "engine/name_planner.h"
#include "options/run_options.h"

namespace msifter::cli {

// Where a capture time came from, so that a plan or a journal can say it:
//   Exif        EXIF DateTimeOriginal (in a CRW: the camera's captured time)
//   Xmp         XMP: exif:DateTimeOriginal, xmp:CreateDate, photoshop:DateCreated
//   Iptc        IPTC DateCreated with TimeCreated
//   FilmHeader  the creation time in a QuickTime/MP4 movie header
//   FilmZoned   a film's own date with its zone: Apple's creationdate, or XMP with an offset
//   Modified    the file's modification time
using CaptureSource = engine::DateSource;

// How a film's movie header was written. The format says UTC; some cameras
// write their local clock there.
using VideoTime = options::VideoTime;

struct CaptureTime {
  std::tm local{};  // broken-down local wall-clock time, seconds precision
  CaptureSource source = CaptureSource::Modified;
};

// When the photo or film at `path` was taken, from the first of:
//   EXIF DateTimeOriginal, of the Exif folder, else of the first folder (TIFF/EP);
//   a film's zoned date (Apple's creationdate; XMP with an offset), as written;
//   XMP (a photo's; a film's only when it has an offset, see above);
//   IPTC DateCreated + TimeCreated;
//   the movie header (seconds since 1904: UTC converted to local time, or with
//   VideoTime::Local the fields as written);
//   a film's XMP date without a zone;
//   the file's modification time (local).
// Dates with a zone are taken at their wall-clock time as written, except a
// film's "Z" dates, which are UTC and are converted as the header is.
// Each metadata block is read on its own: a damaged one falls through to the
// next. Reading is bounded: a few megabytes and a few thousand reads at most,
// whatever the file's size or structure. Empty only when the file cannot be
// read at all. Never throws.
std::optional<CaptureTime> readCaptureTime(const std::string& path,
                                           VideoTime videoTime = VideoTime::Utc);

// `local` moved by `shift` (a camera whose clock was wrong), as a wall-clock
// time: no day of a summer-time change loses or repeats an hour. Empty when
// the result is beyond the years a name can hold (0 to 9999).
std::optional<std::tm> shiftedTime(const std::tm& local, options::TimeShift shift);

// "2022:01:02 03:04:05" as EXIF writes it (also with "-" in the date, "T" before the
// time, a fraction or a zone after it, all left out). Empty unless a whole valid date and
// time.
std::optional<std::tm> parseExifDateTime(std::string_view text);
// An XMP date, from "2022" to "2022-01-02T03:04:05.67+09:00"; missing parts are the first
// month, day or moment, and the zone is left out: the wall-clock time is taken as written.
std::optional<std::tm> parseXmpDate(std::string_view text);

}  // namespace msifter::cli
