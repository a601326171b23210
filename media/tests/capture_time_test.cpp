// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/capture_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "media_samples.h"
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

// A camera's clock corrected on the wall clock: across midnight, the end of
// a month, a leap day and a year, either way; never past the years a name
// holds.
TEST(ShiftedTime, Table) {
  const struct {
    const char* taken;
    int32_t seconds;
    const char* corrected;
  } rows[] = {
      {"2022:01:02 03:04:05", 3600 + 30 * 60, "20220102043405"},
      {"2022:01:02 03:04:05", -(3 * 3600 + 4 * 60 + 6), "20220101235959"},
      {"2024:02:28 23:30:00", 3600, "20240229003000"},
      {"2023:02:28 23:30:00", 3600, "20230301003000"},
      {"2021:12:31 23:59:59", 1, "20220101000000"},
      {"2022:03:27 01:30:00", 3600, "20220327023000"},  // no daylight saving in between
      {"2022:01:02 03:04:05", 0, "20220102030405"},
      {"9999:12:31 23:00:00", 3599, "99991231235959"},
      {"9999:12:31 23:00:00", 3600, ""},
  };
  for (const auto& row : rows) {
    const std::optional<std::tm> taken = parseExifDateTime(row.taken);
    ASSERT_TRUE(taken) << row.taken;
    EXPECT_EQ(stamp(shiftedTime(*taken, options::TimeShift{row.seconds})), row.corrected)
        << row.taken << " " << row.seconds;
  }
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
  };
  for (const Row& row : rows) {
    EXPECT_EQ(stamp(parseExifDateTime(row.text)), row.exif) << row.text;
    EXPECT_EQ(stamp(parseXmpDate(row.text)), row.xmp) << row.text;
  }
  // Neither reads these.
  for (const char* text :
       {"2023:02:29 10:00:00", "2022:01:02 24:00:00", "0000:00:00 00:00:00",
        "    :  :     :  :  ", "2022:01:02 03:04:05 later", "2022-01:02", "2022-01-02T03"}) {
    EXPECT_EQ(parseExifDateTime(text), std::nullopt) << text;
    EXPECT_EQ(parseXmpDate(text), std::nullopt) << text;
  }
}

using namespace samples;

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
  // A small picture in the format its name's extension says.
  fs::path photo(const std::string& name, const std::string& exiv2Commands) const {
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
  const fs::path both = photo("both.jpg",
                              "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05' "
                              "-M'set Xmp.xmp.CreateDate 2021-05-06T07:08:09+02:00'");
  const fs::path xmpOnly = photo("xmp.jpg", "-M'set Xmp.photoshop.DateCreated 1987-06-05'");

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
    EXPECT_EQ(t->source, row.fromFilm ? CaptureSource::FilmHeader : CaptureSource::Modified)
        << row.what;
    EXPECT_EQ(stamp(t->local), row.fromFilm ? "20220102120405" : "20200304050607") << row.what;
  }
}

TEST_F(CaptureTimeTest, OtherFilesByModificationTimeQuietly) {
  const fs::path good =
      photo("good.jpg", "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05'");
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

// 2022-01-02 03:04:05 UTC in seconds since 1970.
constexpr uint64_t kUnix20220102 = 1641092645;
constexpr uint64_t kSeconds1904To1970 = 2082844800;

std::string heifMeta(const std::vector<std::string>& infe, const std::string& iloc,
                     const std::string& idat) {
  std::string entries;
  for (const std::string& e : infe) entries += e;
  return fullBox("meta", 0,
                 fullBox("hdlr", 0, be(0, 4) + "pict" + std::string(13, '\0')) +
                     fullBox("iinf", 0, be(infe.size(), 2) + entries) + iloc +
                     (idat.empty() ? "" : box("idat", idat)));
}

std::string infe(uint16_t id, const std::string& type, const std::string& contentType = "") {
  std::string body = be(id, 2) + be(0, 2) + type + std::string(1, '\0');
  if (!contentType.empty()) body += contentType + std::string(1, '\0');
  return fullBox("infe", 2, body);
}

// An iloc of version 1 with 4-byte offsets and lengths, one extent an item.
struct ItemPlace {
  uint16_t id;
  int method;  // 0: file, 1: idat
  uint32_t offset;
  uint32_t length;
};
std::string iloc(const std::vector<ItemPlace>& items) {
  std::string body = be(0x44, 1) + be(0, 1) + be(items.size(), 2);
  for (const ItemPlace& i : items)
    body += be(i.id, 2) + be(i.method, 2) + be(0, 2) + be(1, 2) + be(i.offset, 4) + be(i.length, 4);
  return fullBox("iloc", 1, body);
}

const std::string kHeicType = box("ftyp", "heic" + be(0, 4) + "mif1heic");

// A HEIC whose EXIF item lies in its mdat, found through an iloc of version 0.
std::string heicWithExifInMdat(const std::string& exifItem) {
  auto build = [&](uint32_t offset) {
    const std::string place = be(0x44, 1) + be(0, 1) + be(1, 2) + be(2, 2) + be(0, 2) + be(1, 2) +
                              be(offset, 4) + be(exifItem.size(), 4);
    return kHeicType + heifMeta({infe(1, "hvc1"), infe(2, "Exif")}, fullBox("iloc", 0, place), "");
  };
  const std::string head = build(0);
  return build(static_cast<uint32_t>(head.size() + 8)) + box("mdat", exifItem);
}

// Canon's CRW: the captured time (0x180e) in the image properties heap (0x300a).
std::string crw(uint32_t seconds) {
  const std::string times = le(seconds, 4) + le(0, 4) + le(0, 4);
  const std::string properties =
      times + le(1, 2) + le(0x180e, 2) + le(times.size(), 4) + le(0, 4) + le(times.size(), 4);
  const std::string root = properties + le(1, 2) + le(0x300a, 2) + le(properties.size(), 4) +
                           le(0, 4) + le(properties.size(), 4);
  return "II" + le(26, 4) + "HEAPCCDR" + le(0x00010002, 4) + std::string(8, '\0') + root;
}

const std::string kCanonUuid = "\x85\xC0\xB6\x87\x82\x0F\x11\xE0\x81\x11\xF4\xCE\x46\x2B\x6A\x48";
const std::string kXmpUuid = "\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC";

struct PhotoRow {
  const char* what;
  const char* name;
  std::string bytes;
  CaptureSource source;
  const char* stamp;
};

const std::string kOriginal = "2021:03:04 05:06:07";  // 20210304050607
const std::string kExifTiff =
    tiff({asciiTag(0x010F, "Maker")}, {asciiTag(0x9003, "2021:03:04 05:06:07")});
const std::string kXmpPacket = xmpPacket("xmp:CreateDate", "2019-08-07T06:05:04+02:00");

// Photos in a TIFF structure or a JPEG, one for each block the reader knows.
std::vector<PhotoRow> tiffAndJpegSamples() {
  const std::string brokenIcc = segment(
      0xE2, std::string("ICC_PROFILE\0\x01\x01", 14) + be(1000000, 4) + std::string(60, 'p'));
  const std::string brokenExif = exifSegment("II*" + std::string(1, '\0') + le(0xFFFFFF00, 4));
  const std::string iptc = iptcSegment("20180102", "030405+0900");
  std::string rw2 = tiff({{0x002E, 7, 0, ""}}, {});
  const std::string embedded = jpeg({exifSegment(kExifTiff)});
  rw2 = "IIU" + std::string(1, '\0') + rw2.substr(4, 10) + le(embedded.size(), 4) +
        le(rw2.size(), 4) + rw2.substr(22) + embedded;
  std::string raf = "FUJIFILMCCD-RAW 0201FF383501" + std::string(56, '\0');
  raf += be(100, 4) + be(embedded.size(), 4) + std::string(8, '\0') + embedded;
  return {
      {"TIFF/EP: the date in IFD0", "ep.tif",
       tiff({asciiTag(0x010F, "Maker"), asciiTag(0x9003, kOriginal)}, {}), CaptureSource::Exif,
       "20210304050607"},
      {"TIFF/EP, big-endian", "ep.nef", tiff({asciiTag(0x9003, kOriginal)}, {}, true),
       CaptureSource::Exif, "20210304050607"},
      {"the Exif folder's date before IFD0's", "both.dng",
       tiff({asciiTag(0x9003, "2001:01:01 01:01:01")}, {asciiTag(0x9003, kOriginal)}),
       CaptureSource::Exif, "20210304050607"},
      {"a broken ICC profile before a good EXIF", "icc.jpg",
       jpeg({brokenIcc, exifSegment(kExifTiff)}), CaptureSource::Exif, "20210304050607"},
      {"a broken EXIF block, a good XMP", "xmp.jpg", jpeg({brokenExif, xmpSegment(kXmpPacket)}),
       CaptureSource::Xmp, "20190807060504"},
      {"IPTC only", "iptc.jpg", jpeg({iptc}), CaptureSource::Iptc, "20180102030405"},
      {"IPTC date without a time", "day.jpg", jpeg({iptcSegment("20180102", "")}),
       CaptureSource::Iptc, "20180102000000"},
      {"a blank EXIF date, then IPTC", "blank.jpg",
       jpeg({exifSegment(tiff({}, {asciiTag(0x9003, "    :  :     :  :  ")})), iptc}),
       CaptureSource::Iptc, "20180102030405"},
      {"CRW: the camera's wall clock", "crw.crw", crw(kUnix20220102), CaptureSource::Exif,
       "20220102030405"},
      {"RW2: the EXIF of its embedded JPEG", "raw.rw2", rw2, CaptureSource::Exif, "20210304050607"},
      {"RAF: the EXIF of its JPEG", "raw.raf", raf, CaptureSource::Exif, "20210304050607"},
  };
}

// Photos in ISO boxes: HEIF items, CR3's CMT boxes, JPEG XL's Exif box.
std::vector<PhotoRow> boxSamples() {
  const std::string exifItem = be(6, 4) + std::string("Exif\0\0", 6) + kExifTiff;
  const auto itemSize = static_cast<uint32_t>(exifItem.size());
  const std::string cmt1 = tiff({asciiTag(0x010F, "Canon")}, {});
  const std::string cmt2 = tiff({asciiTag(0x9003, kOriginal)}, {}, true);
  return {
      {"HEIC: the EXIF item in idat", "idat.heic",
       kHeicType + heifMeta({infe(1, "hvc1"), infe(2, "Exif")},
                            iloc({{1, 0, 0, 0}, {2, 1, 0, itemSize}}), exifItem),
       CaptureSource::Exif, "20210304050607"},
      {"HEIC: the EXIF item in mdat", "mdat.heic", heicWithExifInMdat(exifItem),
       CaptureSource::Exif, "20210304050607"},
      {"HEIC: an EXIF item whose offset leaves out its header", "zero.heic",
       kHeicType +
           heifMeta({infe(2, "Exif")}, iloc({{2, 1, 0, itemSize}}), be(0, 4) + exifItem.substr(4)),
       CaptureSource::Exif, "20210304050607"},
      {"HEIC: an XMP item only", "xmp.heic",
       kHeicType + heifMeta({infe(3, "mime", "application/rdf+xml")},
                            iloc({{3, 1, 0, static_cast<uint32_t>(kXmpPacket.size())}}),
                            kXmpPacket),
       CaptureSource::Xmp, "20190807060504"},
      {"JPEG XL: an Exif box", "photo.jxl",
       box("JXL ", "\r\n\x87\n") + box("ftyp", "jxl " + be(0, 4) + "jxl ") + box("Exif", exifItem) +
           box("jxlc", std::string(16, '\0')),
       CaptureSource::Exif, "20210304050607"},
      {"CR3: CMT2 holds the Exif folder", "raw.cr3",
       box("ftyp", "crx " + be(1, 4) + "crx isom") +
           box("moov", box("uuid", kCanonUuid + box("CMT1", cmt1) + box("CMT2", cmt2)) +
                           mvhd(0, kUnix20220102 + kSeconds1904To1970)) +
           box("mdat", std::string(32, 'x')),
       CaptureSource::Exif, "20210304050607"},
  };
}

std::vector<PhotoRow> photoSamples() {
  std::vector<PhotoRow> rows = tiffAndJpegSamples();
  for (PhotoRow& row : boxSamples()) rows.push_back(std::move(row));
  return rows;
}

TEST_F(CaptureTimeTest, PhotoDatesFromEachBlock) {
  for (const PhotoRow& row : photoSamples()) {
    const fs::path path = file(row.name, row.bytes);
    fs::last_write_time(path, kModified);
    const auto t = readCaptureTime(path.string());
    ASSERT_TRUE(t) << row.what;
    EXPECT_EQ(t->source, row.source) << row.what;
    EXPECT_EQ(stamp(t->local), row.stamp) << row.what;
  }
}

// Apple's metadata: `keys` names the items of `ilst`.
std::string appleMeta(const std::string& creationDate, bool isoMeta) {
  const std::string make = "com.apple.quicktime.make";
  const std::string created = "com.apple.quicktime.creationdate";
  const std::string keys = fullBox("keys", 0,
                                   be(2, 4) + be(8 + make.size(), 4) + "mdta" + make +
                                       be(8 + created.size(), 4) + "mdta" + created);
  auto item = [](int key, const std::string& text) {
    return box(be(key, 4), box("data", be(1, 4) + be(0, 4) + text));
  };
  // The ISO form also puts the items before their names.
  const std::string list = box("ilst", item(1, "Apple") + item(2, creationDate));
  const std::string children = fullBox("hdlr", 0, be(0, 4) + "mdta" + std::string(13, '\0')) +
                               (isoMeta ? list + keys : keys + list);
  return isoMeta ? fullBox("meta", 0, children) : box("meta", children);
}

struct FilmRow {
  const char* what;
  std::string bytes;
  VideoTime videoTime;
  CaptureSource source;
  const char* stamp;
};

std::vector<FilmRow> filmSamples() {
  const std::string ftyp = box("ftyp", "qt  " + be(0, 4) + "qt  ");
  const std::string header = mvhd(0, kUnix20220102 + kSeconds1904To1970);  // 12:04:05 in JST
  const std::string mdat = box("mdat", std::string(64, '\x55'));
  auto xmpFilm = [&](const std::string& date) {
    return ftyp + box("moov", header) + box("uuid", kXmpUuid + xmpPacket("xmp:CreateDate", date)) +
           mdat;
  };
  return {
      {"Apple's date in moov/meta, as written",
       ftyp + box("moov", header + appleMeta("2022-01-02T19:04:05-0800", false)) + mdat,
       VideoTime::Utc, CaptureSource::FilmZoned, "20220102190405"},
      {"Apple's date in an ISO meta",
       ftyp + box("moov", header + appleMeta("2022-01-03T04:04:05+09:00", true)) + mdat,
       VideoTime::Utc, CaptureSource::FilmZoned, "20220103040405"},
      {"Apple's date unreadable: the header",
       ftyp + box("moov", header + appleMeta("soon", false)) + mdat, VideoTime::Utc,
       CaptureSource::FilmHeader, "20220102120405"},
      {"XMP with an offset", xmpFilm("2022-01-02T08:04:05+05:00"), VideoTime::Utc,
       CaptureSource::FilmZoned, "20220102080405"},
      {"XMP in UTC: shown in local time", xmpFilm("2022-01-02T03:04:05Z"), VideoTime::Utc,
       CaptureSource::FilmZoned, "20220102120405"},
      {"XMP without a zone: the header first", xmpFilm("2020-05-06T07:08:09"), VideoTime::Utc,
       CaptureSource::FilmHeader, "20220102120405"},
      {"the header read as the camera's clock", ftyp + box("moov", header) + mdat, VideoTime::Local,
       CaptureSource::FilmHeader, "20220102030405"},
  };
}

TEST_F(CaptureTimeTest, FilmsByTheirOwnZonedDate) {
  for (const FilmRow& row : filmSamples()) {
    const fs::path path = file("film.mov", row.bytes);
    const auto t = readCaptureTime(path.string(), row.videoTime);
    ASSERT_TRUE(t) << row.what;
    EXPECT_EQ(t->source, row.source) << row.what;
    EXPECT_EQ(stamp(t->local), row.stamp) << row.what;
  }
}

uint32_t crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string pngChunk(const std::string& type, const std::string& data) {
  return be(data.size(), 4) + type + data + be(crc32(type + data), 4);
}

TEST_F(CaptureTimeTest, OtherFormatsThroughExiv2) {
  const fs::path png = photo("a.png", "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05'");
  const fs::path webp = photo("a.webp", "-M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05'");
  const fs::path pngXmp = photo("x.png", "-M'set Xmp.xmp.CreateDate 2021-05-06T07:08:09'");
  // A large PNG: XMP first, then 3,000 chunks of image data (left sparse).
  const fs::path large = env.root() / "large.png";
  {
    std::ofstream out(large, std::ios::binary);
    out << "\x89PNG\r\n\x1A\n"
        << pngChunk("IHDR", be(4000, 4) + be(4000, 4) + "\x08\x02" + std::string(3, '\0'))
        << pngChunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) +
                                xmpPacket("xmp:CreateDate", "2019-08-07T06:05:04"));
    const std::string data(32768, '\0');
    const std::string crc = be(crc32("IDAT" + data), 4);
    for (int i = 0; i < 3000; ++i) {
      out << be(data.size(), 4) << "IDAT";
      out.seekp(static_cast<std::streamoff>(data.size()), std::ios::cur);
      out << crc;
    }
    out << pngChunk("IEND", "");
  }
  const struct {
    fs::path path;
    CaptureSource source;
    const char* stamp;
  } rows[] = {
      {png, CaptureSource::Exif, "20220102030405"},
      {webp, CaptureSource::Exif, "20220102030405"},
      {pngXmp, CaptureSource::Xmp, "20210506070809"},
      {large, CaptureSource::Xmp, "20190807060504"},
  };
  for (const auto& row : rows) {
    const auto t = readCaptureTime(row.path.string());
    ASSERT_TRUE(t) << row.path;
    EXPECT_EQ(t->source, row.source) << row.path;
    EXPECT_EQ(stamp(t->local), row.stamp) << row.path;
  }
}

// Every sample, cut short and damaged byte by byte: a time is still given
// (the modification time at worst), nothing crashes (the sanitizer build
// runs this too), nothing is read outside the file.
TEST_F(CaptureTimeTest, DamagedSamplesStillNamed) {
  std::vector<std::string> samples;
  for (const PhotoRow& row : photoSamples()) samples.push_back(row.bytes);
  for (const FilmRow& row : filmSamples()) samples.push_back(row.bytes);
  std::mt19937 random(20240501);
  int named = 0;
  int tried = 0;
  for (const std::string& sample : samples) {
    for (int i = 0; i < 300; ++i) {
      std::string bytes = sample;
      const std::size_t at = random() % bytes.size();
      if (i < 40) {
        bytes.resize(at);    // cut short
      } else if (i < 100) {  // a length or offset field made huge or zero
        const std::string field = i % 2 == 0 ? "\xFF\xFF\xFF\xFF" : std::string(4, '\0');
        bytes.replace(at, std::min<std::size_t>(4, bytes.size() - at), field);
      } else {
        bytes[at] = static_cast<char>(random());
      }
      // A new file each time: ext4 writes a file out when it is truncated and written again.
      const fs::path path = env.root() / ("damaged" + std::to_string(tried));
      std::ofstream(path, std::ios::binary) << bytes;
      ++tried;
      if (readCaptureTime(path.string())) ++named;
      fs::remove(path);
    }
  }
  EXPECT_EQ(named, tried);
}

}  // namespace
}  // namespace msifter::cli
