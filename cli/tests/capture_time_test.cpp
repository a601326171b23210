#include "cli/capture_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "temp_env.h"

namespace msifter::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string stamp(const std::optional<std::tm>& t) {
  if (!t) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &*t);
  return text;
}

TEST(ParseCaptureDate, Table) {
  struct Row {
    std::string text;
    const char* exif;
    const char* xmp;
  };
  const Row rows[] = {
      {.text = "2022:01:02 03:04:05", .exif = "20220102030405", .xmp = "20220102030405"},
      {.text = "2022:01:02 03:04:05\0"s, .exif = "20220102030405", .xmp = "20220102030405"},
      {.text = "2022-01-02T03:04:05.67+09:00", .exif = "20220102030405", .xmp = "20220102030405"},
      {.text = "2022-01-02T03:04-0500", .exif = "", .xmp = "20220102030400"},
      {.text = "2021-05", .exif = "", .xmp = "20210501000000"},
      {.text = "1987", .exif = "", .xmp = "19870101000000"},
      {.text = "2024:02:29 10:00:00", .exif = "20240229100000", .xmp = "20240229100000"},
      {.text = "2023:02:29 10:00:00", .exif = "", .xmp = ""},
      {.text = "2022:01:02 24:00:00", .exif = "", .xmp = ""},
      {.text = "0000:00:00 00:00:00", .exif = "", .xmp = ""},
      {.text = "    :  :     :  :  ", .exif = "", .xmp = ""},
      {.text = "2022:01:02 03:04:05 later", .exif = "", .xmp = ""},
      {.text = "2022-01:02", .exif = "", .xmp = ""},
      {.text = "2022-01-02T03", .exif = "", .xmp = ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(stamp(parseExifDateTime(row.text)), row.exif) << row.text;
    EXPECT_EQ(stamp(parseXmpDate(row.text)), row.xmp) << row.text;
  }
}

std::string be(uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

std::string box(const std::string& type, const std::string& contents) {
  return be(8 + contents.size(), 4) + type + contents;
}

// A movie header: version, flags, creation and modification times, time
// scale and duration, then the fields nobody reads here.
std::string mvhd(int version, uint64_t created) {
  const int width = version == 1 ? 8 : 4;
  return box("mvhd", be(version, 1) + be(0, 3) + be(created, width) + be(created, width) +
                         be(1000, 4) + be(0, width) + std::string(80, '\0'));
}

class CaptureTimeTest : public ::testing::Test {
 protected:
  // 2020-03-04 05:06:07 in JST.
  const fs::file_time_type kModified =
      std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1583265967)));

  void SetUp() override {
    // Nine hours east, so that a film's UTC time and local time differ.
    env.setVar("TZ", "JST-9");
    tzset();
  }

  fs::path file(const std::string& name, const std::string& bytes) const {
    const fs::path path = env.root() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  fs::path jpeg(const std::string& name, const std::string& exiv2Commands) const {
    const fs::path path = env.root() / name;
    const std::string make = "convert -size 8x8 xc:red '" + path.string() + "'";
    EXPECT_EQ(std::system(make.c_str()), 0);
    if (!exiv2Commands.empty()) {
      const std::string edit = "exiv2 " + exiv2Commands + " '" + path.string() + "'";
      EXPECT_EQ(std::system(edit.c_str()), 0);
    }
    return path;
  }

  // Destroyed after env, which puts TZ back.
  struct ZoneBack {
    ~ZoneBack() { tzset(); }
  } zoneBack;
  testing::TempEnv env;
};

TEST_F(CaptureTimeTest, PhotosByExifThenXmp) {
  const fs::path both = jpeg("both.jpg",
                             "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05' "
                             "-M'set Xmp.xmp.CreateDate 2021-05-06T07:08:09+02:00'");
  const fs::path xmpOnly = jpeg("xmp.jpg", "-M'set Xmp.photoshop.DateCreated 1987-06-05'");

  auto t = readCaptureTime(both.string());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->source, CaptureSource::Exif);
  EXPECT_EQ(stamp(t->local), "20220102030405");
  t = readCaptureTime(xmpOnly.string());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->source, CaptureSource::Xmp);
  EXPECT_EQ(stamp(t->local), "19870605000000");
}

TEST_F(CaptureTimeTest, FilmsByTheirMovieHeader) {
  // 2022-01-02 03:04:05 UTC, in seconds since 1904; 12:04:05 in JST.
  const uint64_t created = 1641092645 + 2082844800ULL;
  const std::string ftyp = box("ftyp", "isom" + be(512, 4) + "isommp41");
  const std::string mdat = box("mdat", std::string(64, '\x55'));
  const std::string header1 = mvhd(1, created);
  struct Row {
    const char* what;
    std::string bytes;
    bool fromFilm;
  };
  const Row rows[] = {
      {"mp4, version 0", ftyp + box("moov", mvhd(0, created)) + mdat, true},
      {"version 1, 64-bit size, after mdat",
       ftyp + mdat + be(1, 4) + "moov" + be(16 + header1.size(), 8) + header1, true},
      {"mov without ftyp, moov to the end", box("wide", "") + be(0, 4) + "moov" + mvhd(0, created),
       true},
      {"creation time not set", ftyp + box("moov", mvhd(0, 0)), false},
      {"moov larger than the file", ftyp + be(4000, 4) + "moov" + mvhd(0, created), false},
      {"mvhd cut short", ftyp + box("moov", box("mvhd", be(1, 1) + be(0, 3) + be(created, 4))),
       false},
  };
  for (const Row& row : rows) {
    const fs::path path = file("film.mp4", row.bytes);
    fs::last_write_time(path, kModified);
    const auto t = readCaptureTime(path.string());
    ASSERT_TRUE(t) << row.what;
    EXPECT_EQ(t->source, row.fromFilm ? CaptureSource::QuickTime : CaptureSource::Modified)
        << row.what;
    EXPECT_EQ(stamp(t->local), row.fromFilm ? "20220102120405" : "20200304050607") << row.what;
  }
}

TEST_F(CaptureTimeTest, OtherFilesByModificationTimeQuietly) {
  const fs::path good = jpeg("good.jpg", "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05'");
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const fs::path cut = file("cut.jpg", bytes.substr(0, 40));
  // The EXIF folder's pointer (tag 0x8769, little-endian) sent past the end.
  const std::size_t pointer = bytes.find("\x69\x87", bytes.find("Exif\0\0"s)) + 8;
  ASSERT_LT(pointer, bytes.size());
  bytes.replace(pointer, 4, "\xff\xff\xff\x00");
  const fs::path damaged = file("damaged.jpg", bytes);
  const fs::path text = file("notes.txt", "2022:01:02 03:04:05\n");

  ::testing::internal::CaptureStderr();
  for (const fs::path& path : {cut, damaged, text}) {
    fs::last_write_time(path, kModified);
    const auto t = readCaptureTime(path.string());
    ASSERT_TRUE(t) << path;
    EXPECT_EQ(t->source, CaptureSource::Modified) << path;
    EXPECT_EQ(stamp(t->local), "20200304050607") << path;
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(readCaptureTime((env.root() / "missing.jpg").string()));
}

}  // namespace
}  // namespace msifter::cli
