// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile files are named in bounded memory and time. Each is named in a
// child process, whose peak memory and processor time the parent reads back:
// at most 100 MB and 1 s each (a real photo takes well under a millisecond).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/capture_time.h"
#include "media_samples.h"
#include "temp_env.h"

namespace msifter::cli {
namespace {

namespace fs = std::filesystem;
using namespace samples;

constexpr uintmax_t kFourGigabytes = uintmax_t{4} << 30;

// Under the address sanitizer its own memory and time would be measured (and
// it needs more address space than the cap below): the files are still read.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif

struct Usage {
  int exitCode = -1;  // the source named, or -1 when the child did not end by itself
  long peakKilobytes = 0;
  double cpuSeconds = 0;
};

Usage nameInChild(const fs::path& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    // A reader gone wrong fails here instead of taking the machine's memory.
    const rlimit space{uint64_t{2} << 30, uint64_t{2} << 30};
    if (kMeasured) ::setrlimit(RLIMIT_AS, &space);
    ::alarm(60);
    const auto taken = readCaptureTime(path.string());
    ::_exit(taken ? static_cast<int>(taken->source) : 100);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return {};
  return {.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          .peakKilobytes = usage.ru_maxrss,
          .cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6};
}

// `count` boxes of `type`, each the only child of the one before.
std::string nestedBoxes(const std::string& type, std::size_t count) {
  std::string out;
  out.reserve(count * 8);
  for (std::size_t i = 0; i < count; ++i) out += be(8 * (count - i), 4) + type;
  return out;
}

// A CRW whose record table names 65,535 heaps, each the whole heap again.
std::string crwOfItself() {
  constexpr std::size_t kRecords = 65535;
  const std::size_t heapSize = 2 + kRecords * 10 + 4;
  std::string heap = le(kRecords, 2);
  for (std::size_t i = 0; i < kRecords; ++i) heap += le(0x300a, 2) + le(heapSize, 4) + le(0, 4);
  heap += le(0, 4);
  return "II" + le(26, 4) + "HEAPCCDR" + le(0x00010002, 4) + std::string(8, '\0') + heap;
}

// An XMP sidecar of just under 1 MB, nearly all of it tiny elements.
std::string xmpOfTinyElements() {
  std::string items;
  while (items.size() < 1000 * 1000) items += "<rdf:li>x</rdf:li>";
  std::string packet = xmpPacket("xmp:CreateDate", "2019-08-07T06:05:04");
  const std::string bag =
      "><xmp:Label><rdf:Bag>" + items + "</rdf:Bag></xmp:Label></rdf:Description>";
  return packet.replace(packet.find("/></rdf:RDF>"), 2, bag);
}

TEST(CaptureTimeBounds, HostileFilesInBoundedMemoryAndTime) {
  testing::TempEnv env;
  const std::string ftyp = box("ftyp", "isom" + be(0, 4) + "isommp41");
  const std::string heicType = box("ftyp", "heic" + be(0, 4) + "mif1heic");
  // An EXIF item claiming 4 GB, at the start of a sparse file's second half.
  const std::string hugeItem =
      heicType +
      fullBox("meta", 0,
              fullBox("iinf", 0,
                      be(1, 2) +
                          fullBox("infe", 2, be(2, 2) + be(0, 2) + "Exif" + std::string(1, '\0'))) +
                  fullBox("iloc", 1,
                          be(0x44, 1) + be(0, 1) + be(1, 2) + be(2, 2) + be(0, 2) + be(0, 2) +
                              be(1, 2) + be(uint32_t{1} << 31, 4) + be(0xFFFFFFFF, 4)));
  struct Row {
    const char* what;
    const char* name;
    std::string bytes;
    uintmax_t sparseSize;  // 0: as written
    CaptureSource source;
  };
  const Row rows[] = {
      {"mp4 of 100,000 nested boxes", "nested.mp4", ftyp + nestedBoxes("moov", 100000), 0,
       CaptureSource::Modified},
      {"heic of 100,000 nested meta boxes", "nested.heic", heicType + nestedBoxes("meta", 100000),
       0, CaptureSource::Modified},
      {"4 GB sparse .jpg", "sparse.jpg", "\xFF\xD8", kFourGigabytes, CaptureSource::Modified},
      {"4 GB sparse PNG", "sparse.png", "\x89PNG\r\n\x1A\n", kFourGigabytes,
       CaptureSource::Modified},
      {"4 GB sparse WebP", "sparse.webp", "RIFF" + le(0xFFFFFFF0, 4) + "WEBP", kFourGigabytes,
       CaptureSource::Modified},
      {"4 GB sparse TIFF", "sparse.tif", "II*" + std::string(1, '\0') + le(8, 4), kFourGigabytes,
       CaptureSource::Modified},
      {"a box claiming 2^62 bytes", "huge.mp4", ftyp + be(1, 4) + "moov" + be(uint64_t{1} << 62, 8),
       0, CaptureSource::Modified},
      {"an EXIF item claiming 4 GB", "huge.heic", hugeItem, kFourGigabytes,
       CaptureSource::Modified},
      {"a CRW whose heaps hold themselves", "loop.crw", crwOfItself(), 0, CaptureSource::Modified},
      {"1 MB of XMP elements", "tiny.xmp", xmpOfTinyElements(), 0, CaptureSource::Xmp},
  };
  for (const Row& row : rows) {
    const fs::path path = env.root() / row.name;
    std::ofstream(path, std::ios::binary) << row.bytes;
    if (row.sparseSize != 0) fs::resize_file(path, row.sparseSize);
    const Usage usage = nameInChild(path);
    fs::remove(path);
    EXPECT_EQ(usage.exitCode, static_cast<int>(row.source)) << row.what;
    if (!kMeasured) continue;
    EXPECT_LT(usage.peakKilobytes, 100 * 1024) << row.what;
    EXPECT_LT(usage.cpuSeconds, 1.0) << row.what;
    std::printf("  %-36s %6ld KB %7.3f s\n", row.what, usage.peakKilobytes, usage.cpuSeconds);
  }
}

}  // namespace
}  // namespace msifter::cli
