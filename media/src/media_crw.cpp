// SPDX-License-Identifier: GPL-3.0-or-later
// Canon's CRW (CIFF): a heap of records whose table sits at the heap's end;
// records of the two heap types are heaps themselves. The captured time is
// record 0x180e: seconds since 1970 counted on the camera's own clock, so its
// fields are the wall-clock time the camera showed, with no zone applied.
#include <string>

#include "media_readers.h"

namespace msifter::cli::media {

namespace {

constexpr uint16_t kCapturedTime = 0x180e;
constexpr uint16_t kStorageMask = 0xC000;
constexpr uint16_t kInRecord = 0x4000;  // the data is the record's own 8 bytes
constexpr uint16_t kDataTypeMask = 0x3800;
constexpr uint16_t kHeap1 = 0x2800;
constexpr uint16_t kHeap2 = 0x3000;

struct Ciff {
  bool little = true;
  int heapsLeft = 64;  // a table may point at itself or at its parent

  uint64_t number(const unsigned char* bytes, int count) const {
    return little ? littleEndian(bytes, count) : bigEndian(bytes, count);
  }
};

std::optional<std::tm> wallClock(uint64_t seconds) {
  const auto when = static_cast<std::time_t>(seconds);
  std::tm t{};
  if (seconds == 0 || ::gmtime_r(&when, &t) == nullptr) return std::nullopt;
  t.tm_isdst = -1;
  return t;
}

void readHeap(Ciff& ciff, const Range& heap, int depth, MediaFindings& found) {
  constexpr int kDeepest = 4;
  unsigned char bytes[4];
  if (--ciff.heapsLeft < 0 || heap.size < 6 || !heap.read(heap.size - 4, bytes, 4)) return;
  const auto table = static_cast<int64_t>(ciff.number(bytes, 4));
  if (!heap.read(table, bytes, 2)) return;
  const auto count = static_cast<std::size_t>(ciff.number(bytes, 2));
  std::string raw(count * 10, '\0');
  if (!heap.read(table + 2, raw.data(), raw.size())) return;
  for (std::size_t i = 0; i < count && !found.exifOriginal; ++i) {
    const auto* record = reinterpret_cast<const unsigned char*>(raw.data()) + i * 10;
    const auto type = static_cast<uint16_t>(ciff.number(record, 2));
    const auto length = static_cast<int64_t>(ciff.number(record + 2, 4));
    const auto offset = static_cast<int64_t>(ciff.number(record + 6, 4));
    if ((type & ~kStorageMask) == kCapturedTime) {
      const bool inRecord = (type & kStorageMask) == kInRecord;
      if (inRecord || (length >= 4 && heap.read(offset, bytes, 4)))
        found.exifOriginal = wallClock(ciff.number(inRecord ? record + 2 : bytes, 4));
    } else if ((type & kStorageMask) == 0 && depth < kDeepest &&
               ((type & kDataTypeMask) == kHeap1 || (type & kDataTypeMask) == kHeap2)) {
      readHeap(ciff, heap.sub(offset, length), depth + 1, found);
    }
  }
}

}  // namespace

bool readCrw(MediaFile& file, MediaFindings& found) {
  const Range whole{.file = &file, .base = 0, .size = file.size()};
  unsigned char header[14];
  if (!whole.read(0, header, sizeof header) ||
      std::string_view(reinterpret_cast<char*>(header) + 6, 8) != "HEAPCCDR")
    return false;
  Ciff ciff;
  if (header[0] == 'M' && header[1] == 'M')
    ciff.little = false;
  else if (header[0] != 'I' || header[1] != 'I')
    return false;
  const auto headerLength = static_cast<int64_t>(ciff.number(header + 2, 4));
  readHeap(ciff, whole.sub(headerLength, whole.size), 0, found);
  return true;
}

}  // namespace msifter::cli::media
