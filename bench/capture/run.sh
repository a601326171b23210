#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Naming ordinary JPEGs by their capture time: the reader of this tree (A)
# against the reader of an earlier version (B, git ref REF, main by default),
# each in the same driver built with the same flags, over 2,000 small JPEGs
# with the EXIF and XMP a camera and a photo manager write. The two commands
# alternate pair by pair (A, B, A, B, ...) with the files in the page cache;
# the result is the median of the per-pair ratios A / B. One warm-up pair
# comes first, not counted.
#
#   bash bench/capture/run.sh [BUILD_DIR] [REF] [WORK_DIR]
#   PAIRS=11 (timed pairs)   FILES=2000
set -euo pipefail
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
root=$(realpath "$here/../..")
# shellcheck source=../pairs.sh
source "$here/../pairs.sh"
bench_setup capture 11 "${1:-}" "${3:-}"
ref=${2:-main}
after=$(built bench/capture/capture_cli)
before="$work/capture_cli_before"
files=${FILES:-2000}
fresh_work
mkdir -p "$work/before/cli" "$work/jpegs"

# The earlier reader, in the same driver, with the flags of the build above.
# Only a ref whose reader was the one file cli/src/capture_time.cpp can be
# built so; since the reader became the media library, exiftool.sh times it.
git -C "$root" cat-file -e "$ref:cli/src/capture_time.cpp" 2>/dev/null || {
  echo "$ref has no cli/src/capture_time.cpp (the reader is in media/ now): give an earlier ref, or run bench/capture/exiftool.sh" >&2
  exit 1
}
git -C "$root" show "$ref:cli/include/cli/capture_time.h" >"$work/before/cli/capture_time.h"
git -C "$root" show "$ref:cli/src/capture_time.cpp" >"$work/before/capture_time.cpp"
flags=$(sed -n 's/^CMAKE_CXX_FLAGS_RELWITHDEBINFO:STRING=//p' "$build/CMakeCache.txt")
# shellcheck disable=SC2086
g++ -std=c++20 $flags -I"$work/before" -I"$root/platform/include" "$here/capture_cli.cpp" \
  "$work/before/capture_time.cpp" "$build/platform/libplatform.a" -lexiv2 -o "$before"

# One camera-like JPEG (EXIF with a thumbnail, XMP), copied $files times.
seed="$work/seed.jpg"
convert -size 640x480 plasma: -quality 85 "$seed"
convert -size 160x120 plasma: "$work/seed-thumb.jpg"
exiv2 -M'set Exif.Image.Make Maker' -M'set Exif.Image.Model Camera 1' \
  -M'set Exif.Image.DateTime 2022:01:02 03:04:05' \
  -M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05' \
  -M'set Exif.Photo.DateTimeDigitized 2022:01:02 03:04:05' \
  -M'set Exif.Photo.ExposureTime 1/125' -M'set Exif.Photo.FNumber 28/10' \
  -M'set Exif.Photo.ISOSpeedRatings 200' -M'set Exif.Photo.FocalLength 50/1' \
  -M'set Exif.Photo.LensModel Lens 50mm' -M'set Xmp.xmp.CreateDate 2022-01-02T03:04:05' \
  -M'set Xmp.xmp.Rating 3' "$seed"
exiv2 -it "$seed"
for ((i = 0; i < files; i++)); do cp "$seed" "$work/jpegs/IMG_$i.JPG"; done

# Both must read every date from EXIF before their times mean anything.
a_out=$("$after" "$work/jpegs")
b_out=$("$before" "$work/jpegs")
[ "$a_out" = "source 0: $files files" ] && [ "$b_out" = "$a_out" ] ||
  { echo "the readers disagree: A '$a_out', B '$b_out'" >&2; exit 1; }

a_name=after b_name=before compare_pairs \
  "capture times of $files JPEGs: A this tree, B $ref" true true \
  "'$after' '$work/jpegs'" "'$before' '$work/jpegs'"
