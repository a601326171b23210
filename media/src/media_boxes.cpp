// SPDX-License-Identifier: GPL-3.0-or-later
// ISO boxes and QuickTime atoms: HEIF and AVIF photos (EXIF and XMP items),
// Canon's CR3 (its CMT boxes), JPEG XL containers, and films (the movie
// header, Apple's zoned creation date, XMP). The walk goes down only the few
// paths where those live, one container at a time: nesting costs nothing,
// and every box is checked against its parent before it is believed.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "media_readers.h"

namespace msifter::cli::media {

namespace {

// Boxes read whole into memory (item tables, Apple's keys) are small in any
// real file; larger ones are passed over.
constexpr std::size_t kLargestTable = 1024 * 1024;

constexpr unsigned char kXmpUuid[16] = {0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8,
                                        0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC};
constexpr unsigned char kCanonUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                          0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
constexpr std::string_view kAppleCreationKey = "com.apple.quicktime.creationdate";

struct Box {
  std::array<char, 4> type{};
  Range contents;

  bool is(std::string_view name) const { return std::string_view(type.data(), 4) == name; }
};

// The box at `offset` of a parent that ends at `limit`; empty when its header
// cannot be read or gives a size that does not fit the parent.
std::optional<Box> boxAt(const Range& whole, int64_t offset, int64_t limit) {
  unsigned char header[16];
  if (limit - offset < 8 || !whole.read(offset, header, 8)) return std::nullopt;
  uint64_t size = bigEndian(header, 4);
  int64_t headerLength = 8;
  if (size == 1) {
    if (limit - offset < 16 || !whole.read(offset + 8, header + 8, 8)) return std::nullopt;
    size = bigEndian(header + 8, 8);
    headerLength = 16;
  } else if (size == 0) {
    size = static_cast<uint64_t>(limit - offset);  // the last box runs to the end
  }
  if (size < static_cast<uint64_t>(headerLength) || size > static_cast<uint64_t>(limit - offset))
    return std::nullopt;
  Box box;
  std::memcpy(box.type.data(), header + 4, 4);
  box.contents = whole.sub(offset + headerLength, static_cast<int64_t>(size) - headerLength);
  return box;
}

// Calls `visit` for each box in `parent` until it returns false.
template <class Visit>
void forEachBox(const Range& parent, Visit visit) {
  // Enough for any photo or film; a damaged file of tiny boxes ends here.
  constexpr int kMostBoxes = 1024;
  const Range whole{.file = parent.file, .base = 0, .size = parent.file->size()};
  int64_t offset = parent.base;
  const int64_t limit = parent.base + parent.size;
  for (int i = 0; i < kMostBoxes && offset < limit; ++i) {
    const auto box = boxAt(whole, offset, limit);
    if (!box || !visit(*box)) return;
    offset = box->contents.base + box->contents.size;
  }
}

bool hasUuid(const Box& box, const unsigned char (&uuid)[16]) {
  unsigned char bytes[16];
  return box.is("uuid") && box.contents.read(0, bytes, 16) && std::memcmp(bytes, uuid, 16) == 0;
}

// The creation time of a movie header (version, flags, then 32 or 64 bits).
void readMovieHeader(const Range& header, MediaFindings& found) {
  unsigned char fields[12];
  if (found.filmHeader || !header.read(0, fields, 8) || fields[0] > 1) return;
  uint64_t created = bigEndian(fields + 4, 4);
  if (fields[0] == 1) {
    if (!header.read(4, fields + 4, 8)) return;
    created = bigEndian(fields + 4, 8);
  }
  found.filmHeader = created;
}

// The 1-based number of Apple's creation-date key in a `keys` box; 0 if none.
uint32_t appleCreationKey(std::string_view keys) {
  Cursor cursor(keys);
  cursor.skip(4);  // version, flags
  const auto count = cursor.bigEndian(4);
  for (uint64_t i = 1; i <= count && cursor.ok(); ++i) {
    const auto size = cursor.bigEndian(4);
    cursor.skip(4);  // namespace, "mdta"
    if (size < 8) return 0;
    if (cursor.take(size - 8) == kAppleCreationKey) return static_cast<uint32_t>(i);
  }
  return 0;
}

// The value of item `key` in an `ilst` box: a `data` box of a type, a locale
// and the text.
void readAppleValue(const Range& list, uint32_t key, MediaFindings& found) {
  constexpr std::size_t kLongestValue = 256;
  forEachBox(list, [&](const Box& item) {
    if (bigEndian(reinterpret_cast<const unsigned char*>(item.type.data()), 4) != key) return true;
    forEachBox(item.contents, [&](const Box& data) {
      if (!data.is("data")) return true;
      if (const auto value = data.contents.sub(8, data.contents.size).bytes(kLongestValue))
        found.appleCreation = parseZonedDate(*value, true);
      return false;
    });
    return false;
  });
}

// QuickTime's metadata (`keys` names the items of `ilst`, in either order).
// Apple's `meta` has no version and flags; the ISO one has: its first four
// bytes are then zero.
void readAppleMeta(const Range& meta, MediaFindings& found) {
  unsigned char first[4];
  if (found.appleCreation || !meta.read(0, first, 4)) return;
  const Range children = bigEndian(first, 4) == 0 ? meta.sub(4, meta.size) : meta;
  std::optional<std::string> keys;
  std::optional<Range> list;
  forEachBox(children, [&](const Box& box) {
    if (box.is("keys") && !keys) keys = box.contents.bytes(kLargestTable);
    if (box.is("ilst") && !list) list = box.contents;
    return true;
  });
  const uint32_t key = keys ? appleCreationKey(*keys) : 0;
  if (key != 0 && list) readAppleValue(*list, key, found);
}

void readCanonBoxes(const Range& uuid, MediaFindings& found) {
  forEachBox(uuid.sub(16, uuid.size), [&](const Box& box) {
    if (box.is("CMT1")) readTiff(box.contents, FirstFolder::Image, found);
    if (box.is("CMT2")) readTiff(box.contents, FirstFolder::Exif, found);
    return true;
  });
}

void readMovie(const Range& movie, MediaFindings& found) {
  bool canonRaw = false;
  forEachBox(movie, [&](const Box& box) {
    if (box.is("mvhd")) {
      readMovieHeader(box.contents, found);
    } else if (box.is("meta")) {
      readAppleMeta(box.contents, found);
    } else if (box.is("udta")) {
      forEachBox(box.contents, [&](const Box& child) {
        if (child.is("XMP_") && !found.xmpPacket) found.xmpPacket = child.contents;
        return true;
      });
    } else if (hasUuid(box, kCanonUuid)) {
      canonRaw = true;
      readCanonBoxes(box.contents, found);
    }
    return true;
  });
  found.film = !canonRaw;
}

// The ids of the EXIF item and the XMP item in an `iinf` box (0: none).
struct ItemIds {
  uint64_t exif = 0;
  uint64_t xmp = 0;
};

ItemIds readItemInfo(std::string_view info) {
  ItemIds ids;
  Cursor cursor(info);
  const auto version = cursor.bigEndian(1);
  cursor.skip(3);
  const auto count = cursor.bigEndian(version == 0 ? 2 : 4);
  for (uint64_t i = 0; i < count && cursor.ok(); ++i) {
    const auto size = cursor.bigEndian(4);
    const std::string_view type = cursor.take(4);
    if (size < 8) break;
    Cursor entry(cursor.take(size - 8));
    const auto entryVersion = entry.bigEndian(1);
    entry.skip(3);
    if (type != "infe" || entryVersion < 2) continue;  // older entries name no item type
    const auto id = entry.bigEndian(entryVersion == 2 ? 2 : 4);
    entry.skip(2);  // protection index
    const std::string_view itemType = entry.take(4);
    if (itemType == "Exif" && ids.exif == 0) ids.exif = id;
    if (itemType == "mime") {
      entry.cString();  // the item's name
      if (entry.cString() == "application/rdf+xml" && ids.xmp == 0) ids.xmp = id;
    }
  }
  return ids;
}

struct Extent {
  uint64_t method = 0;  // 0: in the file, 1: in the `idat` box
  uint64_t offset = 0;
  uint64_t length = 0;  // 0: to the end
};

bool validFieldSize(uint64_t size) { return size == 0 || size == 4 || size == 8; }

// Where item `id` lies, from an `iloc` box; empty for an item in pieces.
std::optional<Extent> readItemLocation(std::string_view locations, uint64_t id) {
  Cursor cursor(locations);
  const auto version = cursor.bigEndian(1);
  cursor.skip(3);
  const auto sizes = cursor.bigEndian(2);
  const uint64_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 0xF,
                 baseSize = sizes >> 4 & 0xF, indexSize = version >= 1 ? sizes & 0xF : 0;
  if (version > 2 || !validFieldSize(offsetSize) || !validFieldSize(lengthSize) ||
      !validFieldSize(baseSize) || !validFieldSize(indexSize))
    return std::nullopt;
  const auto count = cursor.bigEndian(version < 2 ? 2 : 4);
  for (uint64_t i = 0; i < count && cursor.ok(); ++i) {
    const auto item = cursor.bigEndian(version < 2 ? 2 : 4);
    Extent extent{.method = version >= 1 ? cursor.bigEndian(2) & 0xF : 0};
    cursor.skip(2);  // data reference
    const auto base = cursor.bigEndian(static_cast<int>(baseSize));
    const auto extents = cursor.bigEndian(2);
    if (extents == 0) continue;
    cursor.skip(indexSize);
    extent.offset = base + cursor.bigEndian(static_cast<int>(offsetSize));
    extent.length = cursor.bigEndian(static_cast<int>(lengthSize));
    cursor.skip((extents - 1) * (indexSize + offsetSize + lengthSize));
    if (item == id && cursor.ok()) {
      if (extents != 1) return std::nullopt;
      return extent;
    }
  }
  return std::nullopt;
}

std::optional<Range> itemRange(const Range& whole, const std::optional<Range>& data,
                               const std::optional<Extent>& extent) {
  if (!extent || extent->method > 1 || (extent->method == 1 && !data)) return std::nullopt;
  const Range& in = extent->method == 0 ? whole : *data;
  if (extent->offset > static_cast<uint64_t>(in.size)) return std::nullopt;
  const auto offset = static_cast<int64_t>(extent->offset);
  const int64_t length =
      extent->length == 0 || extent->length > static_cast<uint64_t>(in.size - offset)
          ? in.size - offset
          : static_cast<int64_t>(extent->length);
  return in.sub(offset, length);
}

// The TIFF structure of an EXIF item (HEIF) or box (JPEG XL): after the
// offset it starts with, to its TIFF header. Some writers give 0 there and
// still put "Exif\0\0" first.
Range exifTiff(const Range& exif) {
  unsigned char bytes[6];
  if (!exif.read(0, bytes, 4)) return {};
  Range tiff = exif.sub(4 + static_cast<int64_t>(bigEndian(bytes, 4)), exif.size);
  if (tiff.read(0, bytes, 6) && std::memcmp(bytes, "Exif\0\0", 6) == 0)
    tiff = tiff.sub(6, tiff.size);
  return tiff;
}

// HEIF's items: `iinf` names them, `iloc` places them (in the file or in
// `idat`). The EXIF item starts with where its TIFF header is.
void readItems(const Range& meta, MediaFindings& found) {
  std::optional<std::string> info, locations;
  std::optional<Range> data;
  forEachBox(meta.sub(4, meta.size), [&](const Box& box) {
    if (box.is("iinf") && !info) info = box.contents.bytes(kLargestTable);
    if (box.is("iloc") && !locations) locations = box.contents.bytes(kLargestTable);
    if (box.is("idat") && !data) data = box.contents;
    return true;
  });
  if (!info || !locations) return;
  const Range whole{.file = meta.file, .base = 0, .size = meta.file->size()};
  const ItemIds ids = readItemInfo(*info);
  const auto exif =
      ids.exif != 0 ? itemRange(whole, data, readItemLocation(*locations, ids.exif)) : std::nullopt;
  if (exif) readTiff(exifTiff(*exif), FirstFolder::Image, found);
  const auto xmp =
      ids.xmp != 0 ? itemRange(whole, data, readItemLocation(*locations, ids.xmp)) : std::nullopt;
  if (xmp && !found.xmpPacket) found.xmpPacket = *xmp;
}

void readTopBox(const Box& box, MediaFindings& found) {
  if (box.is("moov")) {
    readMovie(box.contents, found);
  } else if (box.is("meta")) {
    readItems(box.contents, found);
  } else if (hasUuid(box, kXmpUuid)) {
    if (!found.xmpPacket) found.xmpPacket = box.contents.sub(16, box.contents.size);
  } else if (box.is("Exif")) {  // JPEG XL
    readTiff(exifTiff(box.contents), FirstFolder::Image, found);
  } else if (box.is("xml ") && !found.xmpPacket) {
    found.xmpPacket = box.contents;
  }
}

}  // namespace

bool readBoxes(MediaFile& file, MediaFindings& found) {
  // Any other file whose first bytes happen to read as a box is none of these.
  static constexpr std::string_view kFirstBoxes[] = {"ftyp", "moov", "mdat", "free",
                                                     "skip", "wide", "pnot", "JXL "};
  const Range whole{.file = &file, .base = 0, .size = file.size()};
  const auto first = boxAt(whole, 0, whole.size);
  if (!first || std::none_of(std::begin(kFirstBoxes), std::end(kFirstBoxes),
                             [&](std::string_view type) { return first->is(type); }))
    return false;
  forEachBox(whole, [&](const Box& box) {
    readTopBox(box, found);
    return true;
  });
  return true;
}

}  // namespace msifter::cli::media
