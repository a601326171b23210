#include "common/case_mapping.h"

#include <unicode/uchar.h>

namespace msifter::common {

namespace {

void appendUtf8(std::string& out, int32_t cp) {
  const auto c = static_cast<uint32_t>(cp);
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    const char bytes[] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    out.append(bytes, 2);
  } else if (c < 0x10000) {
    const char bytes[] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                          static_cast<char>(0x80 | (c & 0x3F))};
    out.append(bytes, 3);
  } else {
    const char bytes[] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                          static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    out.append(bytes, 4);
  }
}

// Most names are ASCII: their runs are copied and shifted in place, and ICU
// is asked only for the code points above U+007F.
template <char First, int Shift, UChar32 (*MapCodePoint)(UChar32)>
void appendMapped(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) ++run;
    if (run > i) {
      const std::size_t at = out.size();
      out.append(text.data() + i, run - i);
      for (std::size_t k = at; k < out.size(); ++k) {
        const auto c = static_cast<unsigned char>(out[k]);
        if (static_cast<unsigned char>(c - First) < 26) out[k] = static_cast<char>(c + Shift);
      }
      i = run;
      if (i == text.size()) break;
    }
    const std::size_t start = i;
    const int32_t cp = decodeUtf8(text, i);
    if (cp < 0) {
      out.push_back(text[start]);
    } else {
      appendUtf8(out, MapCodePoint(cp));
    }
  }
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

void appendUpperCase(std::string_view text, std::string& out) { appendMapped<'a', 'A' - 'a', u_toupper>(text, out); }

void appendLowerCase(std::string_view text, std::string& out) { appendMapped<'A', 'a' - 'A', u_tolower>(text, out); }

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
