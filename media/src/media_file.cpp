// SPDX-License-Identifier: GPL-3.0-or-later
#include "media_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace msifter::cli::media {

namespace {

// What one read brings in for small reads: the first block of a JPEG holds
// its EXIF folders, the first of a film its top boxes.
constexpr std::size_t kBlock = 16 * 1024;

}  // namespace

MediaFile::MediaFile(const platform::ReadOnlyFile& file, int64_t size, ReadBudget budget)
    : file_(file), size_(size), left_(budget) {}

bool MediaFile::read(int64_t offset, void* out, std::size_t count) {
  if (offset < 0 || offset > size_ || static_cast<int64_t>(count) > size_ - offset) return false;
  if (spent_ || static_cast<int64_t>(count) > left_.bytes) {
    spent_ = true;
    return false;
  }
  left_.bytes -= static_cast<int64_t>(count);
  if (count == 0) return true;
  auto* bytes = static_cast<unsigned char*>(out);
  if (offset >= cacheStart_ && offset + static_cast<int64_t>(count) <= cacheStart_ + cacheLength_) {
    std::memcpy(bytes, cache_.data() + (offset - cacheStart_), count);
    return true;
  }
  if (count >= kBlock) return take(offset, bytes, count);
  const auto length = static_cast<std::size_t>(std::min<int64_t>(kBlock, size_ - offset));
  cache_.resize(kBlock);
  cacheLength_ = 0;
  if (!take(offset, cache_.data(), length)) return false;
  cacheStart_ = offset;
  cacheLength_ = static_cast<int64_t>(length);
  std::memcpy(bytes, cache_.data(), count);
  return true;
}

bool MediaFile::take(int64_t offset, unsigned char* out, std::size_t count) {
  while (count > 0) {
    if (left_.reads-- <= 0) {
      spent_ = true;
      return false;
    }
    std::size_t got = 0;
    // Nothing read: the file was cut short while it was read.
    if (file_.readAt(offset, out, count, got) || got == 0) return false;
    out += got;
    offset += static_cast<int64_t>(got);
    count -= got;
  }
  return true;
}

bool Range::read(int64_t at, void* out, std::size_t count) const {
  if (file == nullptr || at < 0 || at > size || static_cast<int64_t>(count) > size - at)
    return false;
  return file->read(base + at, out, count);
}

Range Range::sub(int64_t at, int64_t count) const {
  if (at < 0 || at > size || count < 0) return Range{.file = file, .base = base + size, .size = 0};
  return Range{.file = file, .base = base + at, .size = std::min(count, size - at)};
}

std::optional<std::string> Range::bytes(std::size_t most) const {
  if (size < 0 || static_cast<uint64_t>(size) > most) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  if (!read(0, out.data(), out.size())) return std::nullopt;
  return out;
}

uint64_t bigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

uint64_t littleEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

uint64_t Cursor::bigEndian(int count) {
  const std::string_view field = take(static_cast<std::size_t>(count));
  if (field.size() != static_cast<std::size_t>(count)) return 0;
  return media::bigEndian(reinterpret_cast<const unsigned char*>(field.data()), count);
}

void Cursor::skip(std::size_t count) { take(count); }

std::string_view Cursor::take(std::size_t count) {
  if (!ok_ || count > left()) {
    ok_ = false;
    at_ = bytes_.size();
    return {};
  }
  const std::string_view field = bytes_.substr(at_, count);
  at_ += count;
  return field;
}

std::string_view Cursor::cString() {
  const std::size_t end = bytes_.find('\0', at_);
  if (!ok_ || end == std::string_view::npos) {
    ok_ = false;
    at_ = bytes_.size();
    return {};
  }
  const std::string_view text = bytes_.substr(at_, end - at_);
  at_ = end + 1;
  return text;
}

}  // namespace msifter::cli::media
