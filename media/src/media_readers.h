// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own readers of the blocks that say when a photo or film was
// taken. Each reads one container format through a bounded MediaFile and
// notes what it finds; a damaged block is passed over and the others still
// count. capture_time.cpp decides which of the findings names the file.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>

#include "media_file.h"

namespace msifter::cli::media {

// A date as written, with what its writer said about the zone.
struct ZonedDate {
  enum class Zone { None, Utc, Offset };
  std::tm wall{};  // the fields as written
  Zone zone = Zone::None;
  int offsetMinutes = 0;  // east of UTC, for Zone::Offset
};

// "YYYY-MM-DDThh:mm:ss" and its shortenings down to "YYYY", "-" or ":" in the
// date, "T" or " " before the time, an optional fraction and zone. With
// `wholeOnly` the seconds must be there.
std::optional<ZonedDate> parseZonedDate(std::string_view text, bool wholeOnly);

// What the readers found; the first of each kind counts.
struct MediaFindings {
  std::optional<std::tm> exifOriginal;     // DateTimeOriginal of the Exif folder
  std::optional<std::tm> ifd0Original;     // DateTimeOriginal of the first folder (TIFF/EP)
  std::optional<ZonedDate> appleCreation;  // a film's com.apple.quicktime.creationdate
  std::optional<Range> xmpPacket;          // read only when the dates above are missing
  std::optional<ZonedDate> xmpDate;        // from a packet read already
  std::optional<std::tm> iptc;             // DateCreated with TimeCreated
  std::optional<uint64_t> filmHeader;      // movie header: seconds since 1904
  bool film = false;
};

// How the first folder of a TIFF structure is to be read.
enum class FirstFolder {
  Image,  // IFD0, pointing at the Exif folder
  Exif,   // the Exif folder itself (the CMT2 box of a CR3)
};

// Each returns false when the file is not of its format (nothing is read
// then beyond a few bytes at its start).
bool readJpeg(Range jpeg, MediaFindings& found);
bool readTiffFile(MediaFile& file, MediaFindings& found);
bool readCrw(MediaFile& file, MediaFindings& found);
bool readRaf(MediaFile& file, MediaFindings& found);
bool readBoxes(MediaFile& file, MediaFindings& found);

// Blocks inside another format.
void readTiff(Range tiff, FirstFolder first, MediaFindings& found);
void readIptc(Range iim, MediaFindings& found);
void readPhotoshopResources(Range resources, MediaFindings& found);

// IPTC's DateCreated ("CCYYMMDD") with TimeCreated ("HHMMSS", a zone after it
// left out: the wall-clock time as written); midnight without a time.
std::optional<std::tm> iptcDate(std::string_view date, std::string_view time);

}  // namespace msifter::cli::media
