// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF structures (TIFF files and the RAW formats built on them, the EXIF
// block of a JPEG or HEIF, the CMT boxes of a CR3) and the IPTC records they
// may carry.
#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "cli/capture_time.h"
#include "media_readers.h"

namespace msifter::cli::media {

namespace {

constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kExifFolder = 0x8769;
constexpr uint16_t kXmp = 0x02BC;
constexpr uint16_t kIptc = 0x83BB;
constexpr uint16_t kPhotoshop = 0x8649;
constexpr uint16_t kPanasonicJpeg = 0x002E;  // RW2: a JPEG holding the EXIF

// The second field of the header: 42, or what Olympus (ORF) and Panasonic
// (RW2) write in its place.
constexpr std::array<uint16_t, 4> kMagics = {42, 0x4F52, 0x5352, 0x55};
constexpr uint16_t kPanasonicMagic = 0x55;

struct Tiff {
  Range range;
  bool little = true;
  uint16_t magic = 0;
  uint32_t firstFolder = 0;

  uint64_t number(const unsigned char* bytes, int count) const {
    return little ? littleEndian(bytes, count) : bigEndian(bytes, count);
  }
};

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  Range value;  // its bytes, wherever they are
};

std::optional<Tiff> openTiff(Range range) {
  unsigned char header[8];
  if (!range.read(0, header, 8)) return std::nullopt;
  Tiff tiff{.range = range};
  if (header[0] == 'I' && header[1] == 'I')
    tiff.little = true;
  else if (header[0] == 'M' && header[1] == 'M')
    tiff.little = false;
  else
    return std::nullopt;
  tiff.magic = static_cast<uint16_t>(tiff.number(header + 2, 2));
  if (std::find(kMagics.begin(), kMagics.end(), tiff.magic) == kMagics.end()) return std::nullopt;
  tiff.firstFolder = static_cast<uint32_t>(tiff.number(header + 4, 4));
  return tiff;
}

// Bytes of one value of each TIFF type (1 BYTE to 13 IFD); 0 for types not
// known here, whose entries are then passed over.
int typeSize(uint16_t type) {
  constexpr int kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < std::size(kSizes) ? kSizes[type] : 0;
}

// The entries of the folder at `offset`; empty when it cannot be read. A
// folder has at most 65,535 entries of 12 bytes: the read stays bounded.
std::vector<Entry> readFolder(const Tiff& tiff, int64_t offset) {
  unsigned char countBytes[2];
  if (offset <= 0 || !tiff.range.read(offset, countBytes, 2)) return {};
  const auto count = static_cast<std::size_t>(tiff.number(countBytes, 2));
  std::string raw(count * 12, '\0');
  if (!tiff.range.read(offset + 2, raw.data(), raw.size())) return {};
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const auto* e = reinterpret_cast<const unsigned char*>(raw.data()) + i * 12;
    Entry entry{.tag = static_cast<uint16_t>(tiff.number(e, 2)),
                .type = static_cast<uint16_t>(tiff.number(e + 2, 2)),
                .count = static_cast<uint32_t>(tiff.number(e + 4, 4)),
                .value = {}};
    const int64_t length = int64_t{typeSize(entry.type)} * entry.count;
    const int64_t at = length <= 4 ? offset + 2 + static_cast<int64_t>(i) * 12 + 8
                                   : static_cast<int64_t>(tiff.number(e + 8, 4));
    entry.value = tiff.range.sub(at, length);
    if (entry.value.size == length) entries.push_back(entry);
  }
  return entries;
}

std::optional<std::tm> dateOf(const Entry& entry) {
  constexpr std::size_t kLongestDate = 64;
  if (entry.type != 2 && entry.type != 7) return std::nullopt;
  const auto text = entry.value.bytes(kLongestDate);
  return text ? parseExifDateTime(*text) : std::nullopt;
}

uint32_t offsetOf(const Tiff& tiff, const Entry& entry) {
  unsigned char bytes[4];
  if ((entry.type != 4 && entry.type != 13) || entry.count != 1 || !entry.value.read(0, bytes, 4))
    return 0;
  return static_cast<uint32_t>(tiff.number(bytes, 4));
}

// Notes what the first folder holds; returns the Panasonic JPEG's stretch.
std::optional<Range> readFirstFolder(const Tiff& tiff, FirstFolder first, MediaFindings& found) {
  std::optional<Range> panasonicJpeg;
  uint32_t exifFolder = 0;
  for (const Entry& entry : readFolder(tiff, tiff.firstFolder)) {
    if (entry.tag == kDateTimeOriginal) {
      auto& slot = first == FirstFolder::Exif ? found.exifOriginal : found.ifd0Original;
      if (!slot) slot = dateOf(entry);
    } else if (entry.tag == kExifFolder && first == FirstFolder::Image) {
      exifFolder = offsetOf(tiff, entry);
    } else if (entry.tag == kXmp && !found.xmpPacket && typeSize(entry.type) == 1) {
      found.xmpPacket = entry.value;
    } else if (entry.tag == kIptc) {
      readIptc(entry.value, found);
    } else if (entry.tag == kPhotoshop) {
      readPhotoshopResources(entry.value, found);
    } else if (entry.tag == kPanasonicJpeg && tiff.magic == kPanasonicMagic) {
      panasonicJpeg = entry.value;
    }
  }
  if (exifFolder != 0 && !found.exifOriginal) {
    for (const Entry& entry : readFolder(tiff, exifFolder)) {
      if (entry.tag == kDateTimeOriginal) found.exifOriginal = dateOf(entry);
    }
  }
  return panasonicJpeg;
}

}  // namespace

std::optional<std::tm> iptcDate(std::string_view date, std::string_view time) {
  if (date.size() != 8) return std::nullopt;
  std::string text = std::string(date.substr(0, 4)) + ":" + std::string(date.substr(4, 2)) + ":" +
                     std::string(date.substr(6, 2)) + " ";
  if (time.size() >= 6)
    text += std::string(time.substr(0, 2)) + ":" + std::string(time.substr(2, 2)) + ":" +
            std::string(time.substr(4, 2));
  else
    text += "00:00:00";
  return parseExifDateTime(text);
}

void readTiff(Range tiff, FirstFolder first, MediaFindings& found) {
  if (const auto opened = openTiff(tiff)) readFirstFolder(*opened, first, found);
}

bool readTiffFile(MediaFile& file, MediaFindings& found) {
  const Range whole{.file = &file, .base = 0, .size = file.size()};
  const auto tiff = openTiff(whole);
  if (!tiff) return false;
  const auto panasonicJpeg = readFirstFolder(*tiff, FirstFolder::Image, found);
  if (panasonicJpeg && !found.exifOriginal) readJpeg(*panasonicJpeg, found);
  return true;
}

// IPTC IIM: records of 0x1C, record number, dataset number, a 2-byte length.
void readIptc(Range iim, MediaFindings& found) {
  constexpr int kMostRecords = 4096;
  constexpr std::size_t kLongestField = 32;
  if (found.iptc) return;
  std::string date;
  std::string time;
  int64_t at = 0;
  for (int i = 0; i < kMostRecords; ++i) {
    unsigned char head[5];
    if (!iim.read(at, head, 5) || head[0] != 0x1C) break;
    const auto length = static_cast<int64_t>(bigEndian(head + 3, 2));
    if (length & 0x8000) break;  // an extended length: no date is that long
    const Range field = iim.sub(at + 5, length);
    if (head[1] == 2 && (head[2] == 55 || head[2] == 60)) {
      if (const auto text = field.bytes(kLongestField)) (head[2] == 55 ? date : time) = *text;
    }
    at += 5 + length;
  }
  found.iptc = iptcDate(date, time);
}

// Photoshop's image resources: "8BIM", an id, a padded name, a length and the
// padded data. Id 0x0404 holds the IPTC records.
void readPhotoshopResources(Range resources, MediaFindings& found) {
  constexpr int kMostResources = 4096;
  int64_t at = 0;
  for (int i = 0; i < kMostResources && !found.iptc; ++i) {
    unsigned char head[7];
    if (!resources.read(at, head, 7) ||
        std::string_view(reinterpret_cast<char*>(head), 4) != "8BIM")
      break;
    const auto id = bigEndian(head + 4, 2);
    const int64_t name = (1 + head[6] + 1) & ~int64_t{1};
    unsigned char lengthBytes[4];
    if (!resources.read(at + 6 + name, lengthBytes, 4)) break;
    const auto length = static_cast<int64_t>(bigEndian(lengthBytes, 4));
    if (id == 0x0404) readIptc(resources.sub(at + 10 + name, length), found);
    at += 10 + name + ((length + 1) & ~int64_t{1});
  }
}

}  // namespace msifter::cli::media
