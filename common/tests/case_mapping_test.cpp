// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/case_mapping.h"

#include <gtest/gtest.h>

namespace msifter::common {
namespace {

TEST(CaseMapping, EachCodePointToItsOwnCasePartner) {
  struct Row {
    const char* name;
    std::string text, upper, lower;
  };
  const Row rows[] = {
      {"ascii", "Photo_01.Jpg", "PHOTO_01.JPG", "photo_01.jpg"},
      {"ascii edges", "@AZ[`az{~\x7F", "@AZ[`AZ{~\x7F", "@az[`az{~\x7F"},
      // Full-width letters keep their width: ＪＰＧ is not JPG.
      {"full-width latin", "ｊｐｇ.ＪＰｅＧ", "ＪＰＧ.ＪＰＥＧ", "ｊｐｇ.ｊｐｅｇ"},
      {"half-width katakana", "ｼｬｼﾝ_ｶﾞｿﾞｳ", "ｼｬｼﾝ_ｶﾞｿﾞｳ", "ｼｬｼﾝ_ｶﾞｿﾞｳ"},
      {"kana and kanji", "写真ぁァ", "写真ぁァ", "写真ぁァ"},
      // Simple mapping: no final-sigma rule, so Σ lowers to σ everywhere.
      {"greek", "αβγ ΔΕΖ ς Σ", "ΑΒΓ ΔΕΖ Σ Σ", "αβγ δεζ ς σ"},
      {"cyrillic", "привет МИР ё", "ПРИВЕТ МИР Ё", "привет мир ё"},
      // ß has no one-letter capital in the simple mapping: it stays.
      {"latin-1", "ärger ÄRGER ÿ ß é", "ÄRGER ÄRGER Ÿ ß É", "ärger ärger ÿ ß é"},
      // Partners of another UTF-8 length: ı→I (2→1 byte), ɐ→Ɐ (2→3 bytes).
      {"length changes", "ıɐ Ⱥ", "IⱯ Ⱥ", "ıɐ ⱥ"},
      {"outside the BMP", "𐐨𐐀", "𐐀𐐀", "𐐨𐐨"},
      {"title-case letter", "ǅ", "Ǆ", "ǆ"},
      {"invalid bytes",
       "a\xFF"
       "b\xC3",
       "A\xFF"
       "B\xC3",
       "a\xFF"
       "b\xC3"},
      // Overlong "A", a surrogate, a code point above U+10FFFF: bytes, not letters.
      {"not UTF-8 though well formed", "\xC1\x81z\xED\xA0\x80\xF4\x90\x80\x80",
       "\xC1\x81Z\xED\xA0\x80\xF4\x90\x80\x80", "\xC1\x81z\xED\xA0\x80\xF4\x90\x80\x80"},
      {"truncated sequence",
       "\xE3\x81"
       "a",
       "\xE3\x81"
       "A",
       "\xE3\x81"
       "a"},
      {"mixed", "写真_ｐｈｏｔｏ.Jpeg\x80ä", "写真_ＰＨＯＴＯ.JPEG\x80Ä",
       "写真_ｐｈｏｔｏ.jpeg\x80ä"},
      {"empty", "", "", ""},
  };
  const std::string before = "Ab/";  // already in the buffer: left as it is
  for (const auto& r : rows) {
    EXPECT_EQ(upperCase(r.text), r.upper) << r.name;
    EXPECT_EQ(lowerCase(r.text), r.lower) << r.name;
    std::string buffer = before;
    appendUpperCase(r.text, buffer);
    EXPECT_EQ(buffer, before + r.upper) << r.name;
    buffer = before;
    appendLowerCase(r.text, buffer);
    EXPECT_EQ(buffer, before + r.lower) << r.name;
  }
}

// ASCII goes eight bytes at a time: every byte value, in every position of
// a word and of the bytes after the last whole word.
TEST(CaseMapping, AsciiBytesInEveryPosition) {
  for (int c = 0; c < 0x80; ++c) {
    const bool lower = c >= 'a' && c <= 'z';
    const bool upper = c >= 'A' && c <= 'Z';
    for (std::size_t at = 0; at < 11; ++at) {
      std::string text(11, '.');
      text[at] = static_cast<char>(c);
      std::string expectUpper = text, expectLower = text;
      expectUpper[at] = static_cast<char>(lower ? c - 32 : c);
      expectLower[at] = static_cast<char>(upper ? c + 32 : c);
      EXPECT_EQ(upperCase(text), expectUpper) << c << " at " << at;
      EXPECT_EQ(lowerCase(text), expectLower) << c << " at " << at;
    }
  }
}

}  // namespace
}  // namespace msifter::common
