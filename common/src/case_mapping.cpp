// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/case_mapping.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>

namespace msifter::common {

namespace {

// Writes the UTF-8 form of `cp` to `bytes` and returns its length.
std::size_t encodeUtf8(UChar32 cp, char* bytes) {
  const auto c = static_cast<uint32_t>(cp);
  if (c < 0x80) {
    bytes[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<char>(0xF0 | (c >> 18));
  bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHighBits = kOnes * 0x80;

// Flips the case bit of every byte from First to First + 25 in eight ASCII
// bytes at once; no byte is at or above 0x80, so no sum carries into the
// next byte.
template <char First>
uint64_t mapAsciiWord(uint64_t w) {
  const uint64_t atLeastFirst = w + kOnes * (0x80 - First);
  const uint64_t pastLast = w + kOnes * (0x80 - (First + 26));
  return w ^ (((atLeastFirst & ~pastLast) & kHighBits) >> 2);
}

// Most names are ASCII: they are mapped eight bytes at a time, and ICU is
// asked only for the code points above U+007F.
template <char First, UChar32 (*MapCodePoint)(UChar32)>
void appendMapped(std::string_view text, std::string& out) {
  const std::size_t n = text.size();
  std::size_t w = out.size();
  out.resize(w + n);
  std::size_t i = 0;
  while (i < n) {
    const std::size_t chunk = std::min<std::size_t>(8, n - i);
    uint64_t word = 0;
    std::memcpy(&word, text.data() + i, chunk);
    if ((word & kHighBits) == 0) {
      word = mapAsciiWord<First>(word);
      std::memcpy(out.data() + w, &word, chunk);
      i += chunk;
      w += chunk;
      continue;
    }
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out[w++] = static_cast<char>(mapAsciiWord<First>(b));
      ++i;
      continue;
    }
    const std::size_t start = i;
    const int32_t cp = decodeUtf8(text, i);
    char bytes[4];
    std::size_t length = 1;
    if (cp < 0) {
      bytes[0] = text[start];
    } else {
      length = encodeUtf8(MapCodePoint(cp), bytes);
    }
    // A case partner can be one byte longer than its letter (ɐ, Ɐ).
    if (w + length + (n - i) > out.size()) out.resize(w + length + (n - i));
    std::memcpy(out.data() + w, bytes, length);
    w += length;
  }
  out.resize(w);
}

}  // namespace

int32_t decodeUtf8(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t len = 0;
  uint32_t cp = 0;
  uint32_t least = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, least = 0x10000;
  }
  if (len == 0 || len > s.size() - i) {
    ++i;
    return -1;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return static_cast<int32_t>(cp);
}

void appendUpperCase(std::string_view text, std::string& out) {
  appendMapped<'a', u_toupper>(text, out);
}

void appendLowerCase(std::string_view text, std::string& out) {
  appendMapped<'A', u_tolower>(text, out);
}

std::string upperCase(std::string_view text) {
  std::string out;
  appendUpperCase(text, out);
  return out;
}

std::string lowerCase(std::string_view text) {
  std::string out;
  appendLowerCase(text, out);
  return out;
}

}  // namespace msifter::common
