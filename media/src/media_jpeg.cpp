// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG: the segments before the image data, each read on its own, so that a
// damaged one (an ICC profile, a broken EXIF block) costs only itself. The
// scan is never read: the walk ends at the start of the image data.
#include <cstring>
#include <string_view>

#include "media_readers.h"

namespace msifter::cli::media {

namespace {

constexpr unsigned char kSoi = 0xD8;
constexpr unsigned char kEoi = 0xD9;
constexpr unsigned char kSos = 0xDA;
constexpr unsigned char kApp1 = 0xE1;
constexpr unsigned char kApp13 = 0xED;

constexpr std::string_view kExifHeader("Exif\0\0", 6);
constexpr std::string_view kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kPhotoshopHeader("Photoshop 3.0\0", 14);

bool startsWith(const Range& segment, std::string_view header) {
  char bytes[32];
  return header.size() <= sizeof bytes && segment.read(0, bytes, header.size()) &&
         std::memcmp(bytes, header.data(), header.size()) == 0;
}

void readSegment(unsigned char marker, const Range& segment, MediaFindings& found) {
  if (marker == kApp1 && startsWith(segment, kExifHeader)) {
    if (!found.exifOriginal) readTiff(segment.sub(6, segment.size), FirstFolder::Image, found);
  } else if (marker == kApp1 && startsWith(segment, kXmpHeader)) {
    if (!found.xmpPacket) found.xmpPacket = segment.sub(29, segment.size);
  } else if (marker == kApp13 && startsWith(segment, kPhotoshopHeader)) {
    readPhotoshopResources(segment.sub(14, segment.size), found);
  }
}

// Markers that stand alone, without a length: TEM and the restart markers.
bool standsAlone(unsigned char marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

bool readJpeg(Range jpeg, MediaFindings& found) {
  // Far more than any camera writes (a large ICC profile takes a few dozen).
  constexpr int kMostSegments = 1024;
  constexpr int kMostFill = 1024;
  unsigned char bytes[4];
  if (!jpeg.read(0, bytes, 2) || bytes[0] != 0xFF || bytes[1] != kSoi) return false;
  int64_t at = 2;
  int fill = 0;
  for (int i = 0; i < kMostSegments; ++i) {
    if (!jpeg.read(at, bytes, 2) || bytes[0] != 0xFF) break;
    const unsigned char marker = bytes[1];
    if (marker == 0xFF) {  // fill before a marker
      if (++fill > kMostFill) break;
      ++at;
      continue;
    }
    if (marker == kSos || marker == kEoi) break;
    if (standsAlone(marker)) {
      at += 2;
      continue;
    }
    if (!jpeg.read(at + 2, bytes + 2, 2)) break;
    const auto length = static_cast<int64_t>(bigEndian(bytes + 2, 2));
    if (length < 2) break;
    readSegment(marker, jpeg.sub(at + 4, length - 2), found);
    at += 2 + length;
  }
  return true;
}

bool readRaf(MediaFile& file, MediaFindings& found) {
  // Fujifilm's header, then at 84 where its JPEG (with the EXIF) is and how long.
  constexpr std::string_view kRafHeader = "FUJIFILMCCD-RAW ";
  const Range whole{.file = &file, .base = 0, .size = file.size()};
  char header[92];
  if (!whole.read(0, header, sizeof header) ||
      std::string_view(header, kRafHeader.size()) != kRafHeader)
    return false;
  const auto* place = reinterpret_cast<const unsigned char*>(header) + 84;
  readJpeg(whole.sub(static_cast<int64_t>(bigEndian(place, 4)),
                     static_cast<int64_t>(bigEndian(place + 4, 4))),
           found);
  return true;
}

}  // namespace msifter::cli::media
