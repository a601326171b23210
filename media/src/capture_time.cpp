// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/capture_time.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <memory>
#include <mutex>

#include "media_readers.h"
#include "platform/clock.h"
#include "platform/file_reading.h"

namespace msifter::cli {

namespace {

using media::MediaFile;
using media::MediaFindings;
using media::Range;
using media::ZonedDate;

// The program's own readers take what they need from any real photo or film
// with far less than this; a hostile one ends here.
constexpr media::ReadBudget kOwnBudget{.bytes = 16 * 1024 * 1024, .reads = 4096};
// exiv2 reads the formats the program has no reader of (PNG, WebP, PSD...)
// and decodes what it reads: each byte it takes may cost it forty. It walks
// every chunk of a PNG, one read each: a large PNG has thousands.
constexpr media::ReadBudget kExiv2Budget{.bytes = 1024 * 1024, .reads = 16384};
constexpr long kMostExiv2Calls = 1000000;
// An XMP packet costs exiv2 about forty times its size to decode; real ones
// are a few kilobytes (a JPEG's at most 64 KB).
constexpr std::size_t kMostXmp = 1024 * 1024;

void setUpExiv2() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Its warnings about damaged files would land on the user's terminal.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
  });
}

// exiv2 reads the file through this: through the seam like every other read,
// within kExiv2Budget, and within a number of calls, so that a loop over a
// file of zeros ends. Read-only; the descriptor belongs to the caller.
class SeamIo final : public Exiv2::BasicIo {
 public:
  SeamIo(const platform::ReadOnlyFile& file, std::string path, int64_t size)
      : source_(file), file_(file, size, kExiv2Budget), path_(std::move(path)), size_(size) {}
  ~SeamIo() override { munmap(); }
  SeamIo(const SeamIo&) = delete;
  SeamIo& operator=(const SeamIo&) = delete;

  int open() override {
    position_ = 0;
    eof_ = false;
    return 0;
  }
  int close() override { return 0; }
  long write(const Exiv2::byte*, long) override { return 0; }
  long write(Exiv2::BasicIo&) override { return 0; }
  int putb(Exiv2::byte) override { return EOF; }
  void transfer(Exiv2::BasicIo&) override {
    throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "transfer");
  }

  Exiv2::DataBuf read(long count) override {
    // A damaged length must not become a large allocation.
    if (count < 0 || count > kExiv2Budget.bytes) throw Exiv2::Error(Exiv2::kerInvalidMalloc);
    Exiv2::DataBuf buffer(count);
    buffer.size_ = read(buffer.pData_, count);
    return buffer;
  }
  long read(Exiv2::byte* out, long count) override {
    called();
    const long n = static_cast<long>(std::clamp<int64_t>(size_ - position_, 0, count));
    if (n > 0 && !file_.read(position_, out, static_cast<std::size_t>(n))) {
      if (file_.spent()) throw Exiv2::Error(Exiv2::kerInputDataReadFailed);
      eof_ = true;
      return 0;
    }
    position_ += n;
    if (n < count) eof_ = true;
    return n;
  }
  int getb() override {
    Exiv2::byte b = 0;
    return read(&b, 1) == 1 ? b : EOF;
  }
  int seek(long offset, Position from) override {
    called();
    const int64_t base = from == beg ? 0 : from == cur ? position_ : size_;
    const int64_t target = base + offset;
    if (target < 0 || target > size_) return 1;
    position_ = target;
    eof_ = false;
    return 0;
  }

  // A few formats read the whole file in place; only small files may be.
  Exiv2::byte* mmap(bool writeable) override {
    if (writeable || size_ > kExiv2Budget.bytes)
      throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "mmap");
    if (mapped_.data() == nullptr) {
      const platform::OsError e = source_.map(0, static_cast<std::size_t>(size_), mapped_,
                                              platform::ReadOnlyFile::Paging::AsTouched);
      if (e || mapped_.data() == nullptr)
        throw Exiv2::Error(Exiv2::kerCallFailed, path_, "mmap", "mmap");
    }
    // exiv2 asks for writable bytes but, asked for a read-only view, only reads them.
    return const_cast<Exiv2::byte*>(mapped_.data());
  }
  int munmap() override {
    mapped_.reset();
    return 0;
  }

  long tell() const override { return static_cast<long>(position_); }
  size_t size() const override { return static_cast<size_t>(size_); }
  bool isopen() const override { return true; }
  int error() const override { return 0; }
  bool eof() const override { return eof_; }
  std::string path() const override { return path_; }

 private:
  void called() {
    if (++calls_ > kMostExiv2Calls) throw Exiv2::Error(Exiv2::kerInputDataReadFailed);
  }

  const platform::ReadOnlyFile& source_;
  MediaFile file_;
  std::string path_;
  int64_t size_;
  int64_t position_ = 0;
  bool eof_ = false;
  long calls_ = 0;
  platform::FileWindow mapped_;
};

std::optional<ZonedDate> xmpDateOf(const Exiv2::XmpData& xmp) {
  for (const char* key :
       {"Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate", "Xmp.photoshop.DateCreated"}) {
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found == xmp.end()) continue;
    if (auto date = media::parseZonedDate(found->toString(), false)) return date;
  }
  return std::nullopt;
}

std::optional<ZonedDate> decodeXmp(const Range& packet) {
  const auto text = packet.bytes(kMostXmp);
  if (!text) return std::nullopt;
  try {
    setUpExiv2();
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, *text) != 0) return std::nullopt;
    return xmpDateOf(xmp);
  } catch (...) {
    return std::nullopt;  // a damaged packet is no date
  }
}

// exiv2's numbers for the formats the program reads itself (JPEG, CRW, the
// TIFF family, RAF, ISO boxes) and for films: none of them reaches exiv2's
// parsers. The headers that name some of them do not compile on their own.
bool readElsewhere(int type) {
  constexpr int kTypes[] = {0, 1, 3, 4, 7, 8, 9, 16, 19, 20, 21, 22, 24};
  return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}
constexpr int kXmpSidecar = 10;

void noteExiv2Dates(Exiv2::Image& image, MediaFindings& found) {
  const Exiv2::ExifData& exif = image.exifData();
  for (auto [key, slot] : {std::pair{"Exif.Photo.DateTimeOriginal", &found.exifOriginal},
                           std::pair{"Exif.Image.DateTimeOriginal", &found.ifd0Original}}) {
    const auto datum = exif.findKey(Exiv2::ExifKey(key));
    if (datum != exif.end()) *slot = parseExifDateTime(datum->toString());
  }
  found.xmpDate = xmpDateOf(image.xmpData());
  const Exiv2::IptcData& iptc = image.iptcData();
  const auto date = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.DateCreated"));
  const auto time = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.TimeCreated"));
  if (date == iptc.end()) return;
  // exiv2 writes them as "2022-01-02" and "03:04:05+09:00".
  auto digits = [](std::string text) {
    std::erase_if(text, [](char c) { return c < '0' || c > '9'; });
    return text;
  };
  found.iptc = media::iptcDate(digits(date->toString()),
                               time == iptc.end() ? "" : digits(time->toString()).substr(0, 6));
}

// The formats without a reader of the program's own, as far as exiv2 can
// read them within its budget.
void readWithExiv2(const platform::ReadOnlyFile& source, const std::string& path, int64_t size,
                   MediaFile& file, MediaFindings& found) {
  try {
    setUpExiv2();
    auto io = std::make_unique<SeamIo>(source, path, size);
    const int type = Exiv2::ImageFactory::getType(*io);
    if (type == kXmpSidecar) {
      found.xmpPacket = Range{.file = &file, .base = 0, .size = size};
      return;
    }
    if (readElsewhere(type)) return;
    auto image = Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(io.release()));
    if (image.get() == nullptr) return;
    image->readMetadata();
    noteExiv2Dates(*image, found);
  } catch (...) {
    // A file exiv2 cannot read is no photo of its kind; the next source decides.
  }
}

constexpr uint64_t kSeconds1904To1970 = 2082844800;

std::optional<std::tm> utcToLocal(std::time_t when) {
  std::tm local{};
  if (!platform::localTime(when, local)) return std::nullopt;
  return local;
}

// A movie header's creation time, UTC by the format or, when asked, the
// camera's local clock (its fields then are the wall-clock time as written).
std::optional<std::tm> headerTime(uint64_t created, VideoTime videoTime) {
  // 0 is "not set"; times before 1970 are no camera's.
  if (created <= kSeconds1904To1970 || created > (uint64_t{1} << 62)) return std::nullopt;
  const auto when = static_cast<std::time_t>(created - kSeconds1904To1970);
  if (videoTime == VideoTime::Utc) return utcToLocal(when);
  std::tm wall{};
  if (::gmtime_r(&when, &wall) == nullptr) return std::nullopt;
  wall.tm_isdst = -1;
  return wall;
}

// A film's zoned date: its wall-clock time where it was taken, except "Z",
// which names an instant in UTC and is shown in local time like the header.
std::optional<std::tm> filmZoned(const ZonedDate& date) {
  if (date.zone != ZonedDate::Zone::Utc) return date.wall;
  std::tm utc = date.wall;
  return utcToLocal(::timegm(&utc));
}

std::optional<CaptureTime> decide(const MediaFindings& found, VideoTime videoTime) {
  using enum CaptureSource;
  auto result = [](std::optional<std::tm> t, CaptureSource source) {
    return t ? std::optional<CaptureTime>(CaptureTime{.local = *t, .source = source})
             : std::nullopt;
  };
  if (found.exifOriginal) return result(found.exifOriginal, Exif);
  if (found.ifd0Original) return result(found.ifd0Original, Exif);
  if (found.appleCreation) {
    if (auto t = result(filmZoned(*found.appleCreation), FilmZoned)) return t;
  }
  const auto xmp = found.xmpDate     ? found.xmpDate
                   : found.xmpPacket ? decodeXmp(*found.xmpPacket)
                                     : std::nullopt;
  if (xmp && !found.film) return result(xmp->wall, Xmp);
  if (xmp && xmp->zone != ZonedDate::Zone::None) {
    if (auto t = result(filmZoned(*xmp), FilmZoned)) return t;
  }
  if (found.iptc) return result(found.iptc, Iptc);
  if (found.filmHeader) {
    if (auto t = result(headerTime(*found.filmHeader, videoTime), FilmHeader)) return t;
  }
  if (xmp) return result(xmp->wall, Xmp);
  return std::nullopt;
}

std::optional<CaptureTime> modified(const platform::FileIdentity& file) {
  const auto t = utcToLocal(static_cast<std::time_t>(file.modifiedSeconds));
  return t ? std::optional<CaptureTime>(CaptureTime{.local = *t, .source = CaptureSource::Modified})
           : std::nullopt;
}

}  // namespace

std::optional<std::tm> shiftedTime(const std::tm& local, options::TimeShift shift) {
  if (shift.seconds == 0) return local;
  std::tm wall = local;
  wall.tm_isdst = 0;
  const std::time_t moved = ::timegm(&wall) + shift.seconds;
  std::tm result{};
  if (::gmtime_r(&moved, &result) == nullptr || result.tm_year < -1900 || result.tm_year > 8099)
    return std::nullopt;
  result.tm_isdst = -1;
  return result;
}

std::optional<CaptureTime> readCaptureTime(const std::string& path, VideoTime videoTime) {
  platform::ReadOnlyFile source;
  if (source.open(path, platform::LastLink::Follow)) {
    // A file that may not be read, or no regular file, still has a
    // modification time.
    platform::FileIdentity looked;
    if (platform::identityOf(path, looked)) return std::nullopt;
    return modified(looked);
  }
  const int64_t size = source.identity().size;
  MediaFile file(source, size, kOwnBudget);
  MediaFindings found;
  const Range whole{.file = &file, .base = 0, .size = size};
  const bool known = media::readJpeg(whole, found) || media::readTiffFile(file, found) ||
                     media::readBoxes(file, found) || media::readCrw(file, found) ||
                     media::readRaf(file, found);
  if (!known) readWithExiv2(source, path, size, file, found);
  if (auto taken = decide(found, videoTime)) return taken;
  return modified(source.identity());
}

}  // namespace msifter::cli
