// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Photo and film files built byte by byte, so that each test holds exactly
// the structure it is about.
#include <cstdint>
#include <string>
#include <vector>

namespace msifter::cli::samples {

inline std::string be(uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

inline std::string le(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

// An ISO box or QuickTime atom.
inline std::string box(const std::string& type, const std::string& contents) {
  return be(8 + contents.size(), 4) + type + contents;
}
// A box with version and flags.
inline std::string fullBox(const std::string& type, int version, const std::string& contents) {
  return box(type, be(version, 1) + be(0, 3) + contents);
}

// One TIFF entry; `data` is its value in the file's byte order.
struct TiffTag {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::string data;
};

inline TiffTag asciiTag(uint16_t tag, const std::string& text) {
  return {tag, 2, static_cast<uint32_t>(text.size() + 1), text + '\0'};
}

// A TIFF structure: IFD0 and, when `exif` is not empty, an Exif folder that
// IFD0 points at (tag 0x8769). Values longer than four bytes follow the
// folders.
inline std::string tiff(std::vector<TiffTag> ifd0, const std::vector<TiffTag>& exif,
                        bool bigEndianOrder = false) {
  auto num = [&](uint64_t v, int n) { return bigEndianOrder ? be(v, n) : le(v, n); };
  auto folderSize = [](std::size_t entries) { return 2 + entries * 12 + 4; };
  if (!exif.empty()) ifd0.push_back({0x8769, 4, 1, ""});
  const std::size_t exifAt = 8 + folderSize(ifd0.size());
  std::size_t dataAt = exifAt + (exif.empty() ? 0 : folderSize(exif.size()));
  std::string data;
  auto folder = [&](const std::vector<TiffTag>& tags) {
    std::string out = num(tags.size(), 2);
    for (const TiffTag& t : tags) {
      out += num(t.tag, 2) + num(t.type, 2) + num(t.count, 4);
      if (t.tag == 0x8769 && t.data.empty()) {
        out += num(exifAt, 4);
      } else if (t.data.size() <= 4) {
        out += t.data + std::string(4 - t.data.size(), '\0');
      } else {
        out += num(dataAt + data.size(), 4);
        data += t.data;
      }
    }
    return out + num(0, 4);
  };
  std::string out = (bigEndianOrder ? "MM" : "II") + num(42, 2) + num(8, 4);
  out += folder(ifd0);
  if (!exif.empty()) out += folder(exif);
  return out + data;
}

// A JPEG segment: marker, length, payload.
inline std::string segment(unsigned char marker, const std::string& payload) {
  return std::string("\xFF") + static_cast<char>(marker) + be(payload.size() + 2, 2) + payload;
}

// A JPEG of the given segments, a start of scan and a few bytes of image data.
inline std::string jpeg(const std::vector<std::string>& segments) {
  std::string out = "\xFF\xD8";
  for (const std::string& s : segments) out += s;
  return out + segment(0xDA, std::string(10, '\0')) + std::string(64, '\x55') + "\xFF\xD9";
}

inline std::string exifSegment(const std::string& tiffBytes) {
  return segment(0xE1, std::string("Exif\0\0", 6) + tiffBytes);
}

inline std::string xmpPacket(const std::string& property, const std::string& value) {
  return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
         "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
         "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
         "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
         "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' " +
         property + "='" + value + "'/></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

inline std::string xmpSegment(const std::string& packet) {
  return segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
}

// IPTC records (record 2) in Photoshop's resource block 0x0404, as APP13.
inline std::string iptcSegment(const std::string& date, const std::string& time) {
  auto record = [](int dataset, const std::string& value) {
    return std::string("\x1C\x02", 2) + static_cast<char>(dataset) + be(value.size(), 2) + value;
  };
  std::string iim = record(0, std::string("\0\x04", 2)) + record(55, date);
  if (!time.empty()) iim += record(60, time);
  if (iim.size() % 2 != 0) iim += '\0';
  const std::string resource =
      "8BIM" + be(0x0404, 2) + std::string(2, '\0') + be(iim.size(), 4) + iim;
  return segment(0xED, std::string("Photoshop 3.0\0", 14) + resource);
}

}  // namespace msifter::cli::samples
