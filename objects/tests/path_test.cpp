// SPDX-License-Identifier: GPL-3.0-or-later
#include "objects/path.h"

#include <gtest/gtest.h>

namespace msifter::objects {
namespace {

TEST(cPath, SplitsPathsIntoPieces) {
  struct Row {
    std::string path, fileName, ext, nameOnly, folder;
  };
  const Row rows[] = {
      {"/data/photo.jpg", "photo.jpg", "jpg", "photo", "/data/"},
      {"/data/archive.tar.gz", "archive.tar.gz", "gz", "archive.tar", "/data/"},
      {"/data/.profile", ".profile", "profile", "", "/data/"},
      {"/data/name.", "name.", "", "name", "/data/"},
      {"/data/v1.2/readme", "readme", "", "readme", "/data/v1.2/"},
      {"/data/sub/", "", "", "", "/data/sub/"},
      {"plain.txt", "plain.txt", "txt", "plain", ""},
      {"", "", "", "", ""},
      // ":" is an ordinary character here: no drive rules.
      {"C:photo.jpg", "C:photo.jpg", "jpg", "C:photo", ""},
      {"/mnt/c:d/e.f", "e.f", "f", "e", "/mnt/c:d/"},
      // Multi-byte names: only the ASCII separators count.
      {"/写真/夏.JPEG", "夏.JPEG", "JPEG", "夏", "/写真/"},
      {"/raw/bad\xFF.\xFE", "bad\xFF.\xFE", "\xFE", "bad\xFF", "/raw/"},
  };
  for (const auto& r : rows) {
    const cPath p(r.path);
    EXPECT_EQ(p.GetFileName(), r.fileName) << r.path;
    EXPECT_EQ(p.GetExt(), r.ext) << r.path;
    EXPECT_EQ(p.GetFileNameOnly(), r.nameOnly) << r.path;
    EXPECT_EQ(p.GetPath(), r.folder) << r.path;
    EXPECT_EQ(p.FileName(), r.path) << "the questions never change FileName";
    cPath renamed("/elsewhere/other.ext");
    renamed.setFileName(r.path);
    EXPECT_EQ(renamed.GetExt(), r.ext) << r.path;
    EXPECT_EQ(renamed.GetPath(), r.folder) << r.path;
  }
}

TEST(cPath, AddDblQuot) {
  struct Row {
    std::string path;
    bool notCheckSpace = false;
    std::string quoted;
  };
  const Row rows[] = {
      {.path = "/my files/a.txt", .quoted = "\"/my files/a.txt\""},
      {.path = "/a,b.txt", .quoted = "\"/a,b.txt\""},
      {.path = "\"/my files/a.txt\"", .quoted = "\"/my files/a.txt\""},
      {.path = "\"/my files/a.txt", .quoted = "\"/my files/a.txt\""},
      {.path = "/plain.txt", .quoted = "/plain.txt"},
      {.path = "/plain.txt", .notCheckSpace = true, .quoted = "\"/plain.txt\""},
      {.path = "/in\"side x", .quoted = "\"/in\"side x\""},
      {.path = "", .notCheckSpace = true, .quoted = "\"\""},
      {.path = "\"", .notCheckSpace = true, .quoted = "\"\""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(cPath(r.path).AddDblQuot(r.notCheckSpace), r.quoted) << r.path;
  }
}

TEST(cPath, GetFullPathNameJoinsWithOneSeparator) {
  const cPath p;
  EXPECT_EQ(p.GetFullPathName("/data", "a.jpg"), "/data/a.jpg");
  EXPECT_EQ(p.GetFullPathName("/data/", "a.jpg"), "/data/a.jpg");
  EXPECT_EQ(p.GetFullPathName("/data"), "/data/");
  EXPECT_EQ(p.GetFullPathName("", "a.jpg"), "/a.jpg");
  EXPECT_EQ(p.GetFullPathName(""), "/");
}

TEST(cPath, GetCleanFileNameCapitalisesAllCapitalParts) {
  struct Row {
    std::string path, clean;
  };
  const Row rows[] = {
      {"/x/README.TXT", "Readme.Txt"},
      {"/x/MyFile.TXT", "MyFile.Txt"},
      {"/x/photo.jpg", "photo.jpg"},
      {"/x/IMG_0001.JPG", "Img_0001.Jpg"},
      {"/x/2024", "2024."},
      {"/x/.BASHRC", ".Bashrc"},
      {"/x/", "."},
      {"/x/ÄRGER.ＴＸＴ", "Ärger.Ｔｘｔ"},
      {"/x/ΑΘΗΝΑ.JPG", "Αθηνα.Jpg"},
      {"/x/ÉCOLE", "École."},
      {"/x/ñandú.TXT", "ñandú.Txt"},  // has a lower-case letter: kept
      {"/x/ｶﾒﾗ.JPG", "ｶﾒﾗ.Jpg"},      // half-width katakana have no case
      {"/x/\xFF"
       "ABC.TXT",
       "\xFF"
       "abc.Txt"},  // a byte that is not UTF-8 is a character
  };
  for (const auto& r : rows) EXPECT_EQ(cPath(r.path).GetCleanFileName(), r.clean) << r.path;
}

}  // namespace
}  // namespace msifter::objects
