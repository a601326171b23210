// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounded reading of one photo or film. Every reader of capture times reads
// through a MediaFile, so that a hostile file (a huge sparse file, a length
// field that points at the end of the disk, boxes nested a million deep)
// costs a fixed number of reads and bytes, never the whole file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_reading.h"

namespace msifter::cli::media {

struct ReadBudget {
  int64_t bytes = 0;  // asked for by the readers, in all: what they may go on to decode
  int reads = 0;      // reads from the disk: the time spent there
};

class MediaFile {
 public:
  // `file` stays the caller's, open while this lasts.
  MediaFile(const platform::ReadOnlyFile& file, int64_t size, ReadBudget budget);

  int64_t size() const { return size_; }
  // Exactly `count` bytes at `offset`; false when they are not all in the
  // file or the budget is spent.
  bool read(int64_t offset, void* out, std::size_t count);
  bool spent() const { return spent_; }

 private:
  bool take(int64_t offset, unsigned char* out, std::size_t count);

  const platform::ReadOnlyFile& file_;
  int64_t size_;
  ReadBudget left_;
  bool spent_ = false;
  // Headers are read a few bytes at a time; one read serves many of them.
  std::vector<unsigned char> cache_;
  int64_t cacheStart_ = 0;
  int64_t cacheLength_ = 0;
};

// A stretch of a file, [base, base + size); reads outside it fail.
struct Range {
  MediaFile* file = nullptr;
  int64_t base = 0;
  int64_t size = 0;

  bool read(int64_t at, void* out, std::size_t count) const;
  // The part from `at`, at most `count` bytes: cut to this stretch.
  Range sub(int64_t at, int64_t count) const;
  // All its bytes, when there are at most `most` of them and they can be read.
  std::optional<std::string> bytes(std::size_t most) const;
};

uint64_t bigEndian(const unsigned char* bytes, int count);
uint64_t littleEndian(const unsigned char* bytes, int count);

// Reads fields from bytes in memory; after the first read past the end every
// read gives 0 and ok() is false, so a parser checks once at the end.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

  uint64_t bigEndian(int count);
  void skip(std::size_t count);
  // Up to the next NUL (which is passed over).
  std::string_view cString();
  std::string_view take(std::size_t count);

  bool ok() const { return ok_; }
  std::size_t left() const { return bytes_.size() - at_; }
  std::size_t position() const { return at_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace msifter::cli::media
