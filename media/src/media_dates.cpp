// SPDX-License-Identifier: GPL-3.0-or-later
// The date texts of EXIF, XMP and QuickTime.
#include <cstring>

#include "cli/capture_time.h"
#include "media_readers.h"

namespace msifter::cli {

namespace media {

namespace {

int digitsAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "Z", "+hh:mm" or "+hhmm" (also "-").
bool parseZone(std::string_view zone, ZonedDate& date) {
  if (zone == "Z") {
    date.zone = ZonedDate::Zone::Utc;
    return true;
  }
  const int hours = digitsAt(zone, 1, 2);
  const std::size_t minutesAt = zone.size() == 6 && zone[3] == ':' ? 4 : 3;
  const int minutes = zone.size() == minutesAt + 2 ? digitsAt(zone, minutesAt, 2) : -1;
  if ((zone[0] != '+' && zone[0] != '-') || hours < 0 || minutes < 0) return false;
  date.zone = ZonedDate::Zone::Offset;
  date.offsetMinutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
  return true;
}

// The fields as a time of day; empty when one is out of range (month 13,
// 31 April, 24 o'clock).
std::optional<std::tm> validTime(const int (&fields)[6]) {
  std::tm t{};
  t.tm_year = fields[0] - 1900;
  t.tm_mon = fields[1] - 1;
  t.tm_mday = fields[2];
  t.tm_hour = fields[3];
  t.tm_min = fields[4];
  t.tm_sec = fields[5];
  // timegm() normalises: a field out of range comes back changed. It also
  // works out the weekday and the day of the year.
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

std::optional<ZonedDate> parseZonedDate(std::string_view text, bool wholeOnly) {
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
  ZonedDate date;
  if (parsed >= 5 && end < text.size()) {
    if (!parseZone(text.substr(end), date)) return std::nullopt;
    end = text.size();
  }
  if (end != text.size()) return std::nullopt;
  const auto wall = validTime(fields);
  if (!wall) return std::nullopt;
  date.wall = *wall;
  return date;
}

}  // namespace media

std::optional<std::tm> parseExifDateTime(std::string_view text) {
  const auto date = media::parseZonedDate(text, true);
  return date ? std::optional<std::tm>(date->wall) : std::nullopt;
}

std::optional<std::tm> parseXmpDate(std::string_view text) {
  const auto date = media::parseZonedDate(text, false);
  return date ? std::optional<std::tm>(date->wall) : std::nullopt;
}

}  // namespace msifter::cli
