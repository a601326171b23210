#include "cli/capture_time.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/syscalls.h"

namespace msifter::cli {

using platform::syscalls;

namespace {

// Reads exactly `count` bytes at `offset`; false when they are not all there.
bool readAt(int fd, int64_t offset, unsigned char* out, std::size_t count) {
  if (syscalls().lseek(fd, offset, SEEK_SET) != offset) return false;
  while (count > 0) {
    const ssize_t n = syscalls().read(fd, out, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// exiv2 reads the file through this, so that its reads go through the seam
// like every other. Read-only; the descriptor belongs to the caller.
class SeamIo final : public Exiv2::BasicIo {
 public:
  SeamIo(int fd, std::string path, int64_t size) : fd_(fd), path_(std::move(path)), size_(size) {}
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
    // A damaged length must not become an allocation larger than the file.
    if (count < 0 || count > size_) throw Exiv2::Error(Exiv2::kerInvalidMalloc);
    Exiv2::DataBuf buffer(count);
    buffer.size_ = read(buffer.pData_, count);
    return buffer;
  }
  long read(Exiv2::byte* out, long count) override {
    long done = 0;
    while (done < count && position_ < size_) {
      if (position_ < cacheStart_ || position_ >= cacheStart_ + cacheLength_) {
        if (!fill()) break;
      }
      const int64_t at = position_ - cacheStart_;
      const long n = static_cast<long>(std::min<int64_t>(count - done, cacheLength_ - at));
      std::memcpy(out + done, cache_.data() + at, static_cast<std::size_t>(n));
      done += n;
      position_ += n;
    }
    if (done < count) eof_ = true;
    return done;
  }
  int getb() override {
    Exiv2::byte b = 0;
    return read(&b, 1) == 1 ? b : EOF;
  }
  int seek(long offset, Position from) override {
    const int64_t base = from == beg ? 0 : from == cur ? position_ : size_;
    const int64_t target = base + offset;
    if (target < 0 || target > size_) return 1;
    position_ = target;
    eof_ = false;
    return 0;
  }

  // The TIFF-based formats read the whole file in place.
  Exiv2::byte* mmap(bool writeable) override {
    if (writeable) throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "mmap");
    if (mapped_ == nullptr) {
      void* p =
          syscalls().mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_PRIVATE, fd_, 0);
      if (p == MAP_FAILED) throw Exiv2::Error(Exiv2::kerCallFailed, path_, "mmap", "mmap");
      mapped_ = static_cast<Exiv2::byte*>(p);
    }
    return mapped_;
  }
  int munmap() override {
    if (mapped_ != nullptr) syscalls().munmap(mapped_, static_cast<std::size_t>(size_));
    mapped_ = nullptr;
    return 0;
  }

  long tell() const override { return static_cast<long>(position_); }
  size_t size() const override { return static_cast<size_t>(size_); }
  bool isopen() const override { return true; }
  int error() const override { return 0; }
  bool eof() const override { return eof_; }
  std::string path() const override { return path_; }

 private:
  bool fill() {
    cacheStart_ = position_;
    cacheLength_ = std::min<int64_t>(static_cast<int64_t>(cache_.size()), size_ - position_);
    if (cacheLength_ > 0 &&
        readAt(fd_, cacheStart_, cache_.data(), static_cast<std::size_t>(cacheLength_)))
      return true;
    cacheLength_ = 0;
    return false;
  }

  int fd_;
  std::string path_;
  int64_t size_;
  int64_t position_ = 0;
  bool eof_ = false;
  // exiv2 reads markers byte by byte; one read call per byte would crawl.
  std::vector<Exiv2::byte> cache_ = std::vector<Exiv2::byte>(64 * 1024);
  int64_t cacheStart_ = 0;
  int64_t cacheLength_ = 0;
  Exiv2::byte* mapped_ = nullptr;
};

void setUpExiv2() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Its warnings about damaged files would land on the user's terminal.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize();
    Exiv2::enableBMFF(true);  // HEIF photos carry their EXIF in ISO boxes
  });
}

// exiv2 0.27's numbers for its film types (riff, mkv, qtime, asf); the
// headers that name them do not compile on their own.
bool isFilm(int type) { return type == 20 || type == 21 || type == 22 || type == 24; }

// The EXIF or XMP creation time of a photo, as far as exiv2 can read it.
std::optional<CaptureTime> photoTime(int fd, const std::string& path, int64_t size) {
  try {
    std::unique_ptr<SeamIo> io = std::make_unique<SeamIo>(fd, path, size);
    // Films are left to the box walker below: exiv2's film readers walk every
    // box of a film, where the walker stops at its header.
    const int type = Exiv2::ImageFactory::getType(*io);
    if (type == Exiv2::ImageType::none || isFilm(type)) return std::nullopt;
    auto image = Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(io.release()));
    if (image.get() == nullptr) return std::nullopt;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const auto original = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
    if (original != exif.end()) {
      if (auto t = parseExifDateTime(original->toString()))
        return CaptureTime{.local = *t, .source = CaptureSource::Exif};
    }
    const Exiv2::XmpData& xmp = image->xmpData();
    for (const char* key :
         {"Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate", "Xmp.photoshop.DateCreated"}) {
      const auto found = xmp.findKey(Exiv2::XmpKey(key));
      if (found == xmp.end()) continue;
      if (auto t = parseXmpDate(found->toString()))
        return CaptureTime{.local = *t, .source = CaptureSource::Xmp};
    }
  } catch (...) {
    // A file exiv2 cannot read is no photo of its kind; the next source decides.
  }
  return std::nullopt;
}

uint64_t bigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

struct Box {
  char type[4];
  int64_t contents;  // where its contents begin
  int64_t end;
};

// The box at `offset` of a parent that ends at `limit`; empty when its header
// cannot be read or gives a size that does not fit the parent.
std::optional<Box> boxAt(int fd, int64_t offset, int64_t limit) {
  unsigned char header[16];
  if (limit - offset < 8 || !readAt(fd, offset, header, 8)) return std::nullopt;
  uint64_t size = bigEndian(header, 4);
  int64_t headerLength = 8;
  if (size == 1) {
    if (limit - offset < 16 || !readAt(fd, offset + 8, header + 8, 8)) return std::nullopt;
    size = bigEndian(header + 8, 8);
    headerLength = 16;
  } else if (size == 0) {
    size = static_cast<uint64_t>(limit - offset);  // the last box runs to the end
  }
  if (size < static_cast<uint64_t>(headerLength) || size > static_cast<uint64_t>(limit - offset))
    return std::nullopt;
  Box box{};
  std::memcpy(box.type, header + 4, 4);
  box.contents = offset + headerLength;
  box.end = offset + static_cast<int64_t>(size);
  return box;
}

// The first child of type `type` among the boxes from `offset` to `limit`.
std::optional<Box> findBox(int fd, int64_t offset, int64_t limit, const char* type, bool topLevel) {
  // Enough for any film; a damaged file of tiny boxes ends here.
  constexpr int kMostBoxes = 1024;
  for (int i = 0; i < kMostBoxes && offset < limit; ++i) {
    const auto box = boxAt(fd, offset, limit);
    if (!box) return std::nullopt;
    if (std::memcmp(box->type, type, 4) == 0) return box;
    // Any other file whose first bytes happen to read as a box is no film.
    static constexpr const char* kFirstBoxes[] = {"ftyp", "moov", "mdat", "free",
                                                  "skip", "wide", "pnot"};
    if (topLevel && i == 0 &&
        std::none_of(std::begin(kFirstBoxes), std::end(kFirstBoxes),
                     [&](const char* known) { return std::memcmp(box->type, known, 4) == 0; }))
      return std::nullopt;
    offset = box->end;
  }
  return std::nullopt;
}

// The creation time in the movie header of a QuickTime or MP4 film, in
// seconds since 1970 (UTC).
std::optional<std::time_t> filmCreation(int fd, int64_t size) {
  const auto movie = findBox(fd, 0, size, "moov", true);
  if (!movie) return std::nullopt;
  const auto header = findBox(fd, movie->contents, movie->end, "mvhd", false);
  if (!header) return std::nullopt;
  unsigned char fields[12];  // version, flags, creation time (32 or 64 bits)
  const int64_t available = header->end - header->contents;
  if (available < 8 || !readAt(fd, header->contents, fields, 8)) return std::nullopt;
  if (fields[0] > 1) return std::nullopt;  // a layout not known yet
  uint64_t created = bigEndian(fields + 4, 4);
  if (fields[0] == 1) {
    if (available < 12 || !readAt(fd, header->contents + 4, fields + 4, 8)) return std::nullopt;
    created = bigEndian(fields + 4, 8);
  }
  constexpr uint64_t kSeconds1904To1970 = 2082844800;
  // 0 is "not set"; times before 1970 are no camera's.
  if (created <= kSeconds1904To1970 || created > (uint64_t{1} << 62)) return std::nullopt;
  return static_cast<std::time_t>(created - kSeconds1904To1970);
}

std::optional<CaptureTime> localTimeOf(std::time_t when, CaptureSource source) {
  CaptureTime result{.source = source};
  if (!syscalls().localTime(when, result.local)) return std::nullopt;
  return result;
}

int digitsAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "YYYY-MM-DDThh:mm:ss" and every shortening of it down to "YYYY", "-" or ":"
// in the date, "T" or " " before the time, then an optional fraction and
// zone. With `wholeOnly` the seconds must be there.
std::optional<std::tm> parseDateTime(std::string_view text, bool wholeOnly) {
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int fields[6] = {-1, 1, 1, 0, 0, 0};  // year, month, day, hour, minute, second
  // Each field after the year: its separator(s) and where it starts.
  static constexpr struct {
    const char* separators;
    std::size_t at;
  } kLayout[] = {{"-:", 4}, {"-:", 7}, {"T ", 10}, {":", 13}, {":", 16}};
  fields[0] = digitsAt(text, 0, 4);
  std::size_t end = 4;
  int parsed = 1;
  for (const auto& field : kLayout) {
    if (end == text.size() || text[end] == '\0' ||
        std::strchr(field.separators, text[end]) == nullptr)
      break;
    // The date takes the same separator twice.
    if (field.at == 7 && text[7] != text[4]) return std::nullopt;
    fields[parsed] = digitsAt(text, field.at + 1, 2);
    if (fields[parsed] < 0) return std::nullopt;
    end = field.at + 3;
    ++parsed;
  }
  if (fields[0] < 0 || parsed == 4 || (wholeOnly && parsed < 6)) return std::nullopt;
  if (parsed == 6 && end < text.size() && text[end] == '.') {
    do ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9');
  }
  if (parsed >= 5 && end < text.size()) {
    const std::string_view zone = text.substr(end);
    const bool offset = (zone[0] == '+' || zone[0] == '-') && digitsAt(zone, 1, 2) >= 0 &&
                        ((zone.size() == 6 && zone[3] == ':' && digitsAt(zone, 4, 2) >= 0) ||
                         (zone.size() == 5 && digitsAt(zone, 3, 2) >= 0));
    if (zone != "Z" && !offset) return std::nullopt;
    end = text.size();
  }
  if (end != text.size()) return std::nullopt;

  std::tm t{};
  t.tm_year = fields[0] - 1900;
  t.tm_mon = fields[1] - 1;
  t.tm_mday = fields[2];
  t.tm_hour = fields[3];
  t.tm_min = fields[4];
  t.tm_sec = fields[5];
  // timegm() normalises: a field out of range (month 13, 31 April) comes
  // back changed. It also works out the weekday and the day of the year.
  std::tm check = t;
  if (fields[0] < 1 || ::timegm(&check) == -1 || check.tm_year != t.tm_year ||
      check.tm_mon != t.tm_mon || check.tm_mday != t.tm_mday || check.tm_hour != t.tm_hour ||
      check.tm_min != t.tm_min || check.tm_sec != t.tm_sec)
    return std::nullopt;
  t.tm_wday = check.tm_wday;
  t.tm_yday = check.tm_yday;
  t.tm_isdst = -1;  // a camera's clock says nothing about daylight saving
  return t;
}

}  // namespace

std::optional<std::tm> parseExifDateTime(std::string_view text) {
  return parseDateTime(text, true);
}

std::optional<std::tm> parseXmpDate(std::string_view text) { return parseDateTime(text, false); }

std::optional<CaptureTime> readCaptureTime(const std::string& path) {
  setUpExiv2();
  platform::UniqueFd fd(syscalls().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  struct stat st {};
  if (!fd.valid()) {
    // A file that may not be read still has a modification time.
    if (syscalls().stat(path.c_str(), &st) != 0) return std::nullopt;
    return localTimeOf(st.st_mtim.tv_sec, CaptureSource::Modified);
  }
  if (syscalls().fstat(fd.get(), &st) != 0) return std::nullopt;
  if (S_ISREG(st.st_mode)) {
    const auto size = static_cast<int64_t>(st.st_size);
    if (auto photo = photoTime(fd.get(), path, size)) return photo;
    if (const auto created = filmCreation(fd.get(), size)) {
      if (auto film = localTimeOf(*created, CaptureSource::QuickTime)) return film;
    }
  }
  return localTimeOf(st.st_mtim.tv_sec, CaptureSource::Modified);
}

}  // namespace msifter::cli
