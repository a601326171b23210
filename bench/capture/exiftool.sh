#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Naming a card of JPEGs by their capture time: the command line's plan (A)
# against exiftool printing the same names (B), in alternating pairs with
# the files in the page cache; the result is the median of the per-pair
# ratios A / B (target: at most 0.1). One warm-up pair comes first, not
# counted. Both must read the same date of every file first.
#
#   bash bench/capture/exiftool.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=7 (timed pairs)   FILES=2000
#
#   A: m_sifter-cli run CARD DST --all --copy --stamp=capture --dry-run
#   B: exiftool -q -d %Y%m%d%H%M%S -p '${DateTimeOriginal}_$FileName' CARD
#
# exiftool comes from Debian's libimage-exiftool-perl, installed here when
# it is missing and this runs as root.
set -euo pipefail
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=../pairs.sh
source "$here/../pairs.sh"
cli_bench_setup exiftool 7 "${1:-}" "${2:-}"
files=${FILES:-2000}
if ! command -v exiftool >/dev/null; then
  [ "$(id -u)" -eq 0 ] || { echo "exiftool is missing: apt-get install libimage-exiftool-perl" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libimage-exiftool-perl >/dev/null
fi
fresh_work
mkdir -p "$work/card/DCIM/100CANON" "$work/dst"
runs_keep_in_work state config cache

# Twenty camera-like JPEGs (EXIF with a thumbnail, XMP), one a day, each
# copied to a twentieth of the card.
convert -size 640x480 plasma: -quality 85 "$work/seed.jpg"
convert -size 160x120 plasma: "$work/seed-thumb.jpg"
for ((d = 0; d < 20; d++)); do
  when=$(printf '2022:01:%02d 09:%02d:05' $((d + 1)) $((d * 2)))
  cp "$work/seed.jpg" "$work/seed-$d.jpg"
  cp "$work/seed-thumb.jpg" "$work/seed-$d-thumb.jpg"
  exiv2 -M'set Exif.Image.Make Maker' -M'set Exif.Image.Model Camera 1' \
    -M"set Exif.Image.DateTime $when" -M"set Exif.Photo.DateTimeOriginal $when" \
    -M"set Exif.Photo.DateTimeDigitized $when" -M'set Exif.Photo.ExposureTime 1/125' \
    -M'set Exif.Photo.FNumber 28/10' -M'set Exif.Photo.ISOSpeedRatings 200' \
    -M'set Xmp.xmp.Rating 3' "$work/seed-$d.jpg"
  exiv2 -it "$work/seed-$d.jpg"
done
for ((i = 0; i < files; i++)); do
  cp "$work/seed-$((i % 20)).jpg" "$work/card/DCIM/100CANON/IMG_$(printf %04d "$i").JPG"
done

a_cmd="'$ours' run '$work/card' '$work/dst' --all --subfolders --copy --stamp=capture --dry-run"
b_cmd="exiftool -q -r -d %Y%m%d%H%M%S -p '\${DateTimeOriginal}_\$FileName' '$work/card'"
# The same capture time for every file: the stamps each plan starts its
# names with, counted.
a_dates=$(eval "$a_cmd" | grep -o '→  [0-9]\{14\}' | grep -o '[0-9]\{14\}' | sort | uniq -c)
b_dates=$(eval "$b_cmd" | cut -c1-14 | sort | uniq -c)
[ "$a_dates" = "$b_dates" ] && [ "$(echo "$a_dates" | awk '{ n += $1 } END { print n }')" -eq "$files" ] ||
  { printf 'the readers disagree:\nA\n%s\nB\n%s\n' "$a_dates" "$b_dates" >&2; exit 1; }

a_name=m_sifter b_name=exiftool compare_pairs \
  "capture-time names of $files JPEGs: A m_sifter-cli --stamp=capture --dry-run, B exiftool -p" \
  true true "$a_cmd" "$b_cmd"
