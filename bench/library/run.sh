#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Importing a card into a library: folders by date with a photo and its
# companions under one prefix (A: --folders=%Y/%m/%d, groups on), against
# the same run into the destination's top folder, each file on its own
# (B: --no-groups, no folders). Both name files by their capture time and
# copy them. The card holds CARD_GROUPS photos as a RAW (a copy of the JPEG, so
# it has the same EXIF), the JPEG and an XMP sidecar, taken over 60 days.
# The two commands alternate pair by pair (A, B, A, B, ...) with the files
# in the page cache; the result is the median of the per-pair ratios A / B.
# One warm-up pair comes first, not counted.
#
#   bash bench/library/run.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=11 (timed pairs)   CARD_GROUPS=1000 (3 files each)
set -euo pipefail
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
# shellcheck source=../pairs.sh
source "$here/../pairs.sh"
cli_bench_setup library 11 "${1:-}" "${2:-}"
groups=${CARD_GROUPS:-1000}
fresh_work
mkdir -p "$work/card" "$work/seeds"
runs_keep_in_work state cache config

# Sixty camera-like JPEGs, one a day; each group copies one of them.
convert -size 320x240 plasma: -quality 85 "$work/seed.jpg"
for ((d = 0; d < 60; d++)); do
  day=$(date -u -d "2024-03-01 +$d days" +%Y:%m:%d)
  cp "$work/seed.jpg" "$work/seeds/$d.jpg"
  exiv2 -M"set Exif.Photo.DateTimeOriginal $day 10:11:12" "$work/seeds/$d.jpg"
done
for ((i = 0; i < groups; i++)); do
  name=$(printf 'IMG_%04d' "$i")
  cp "$work/seeds/$((i % 60)).jpg" "$work/card/$name.JPG"
  cp "$work/card/$name.JPG" "$work/card/$name.CR2"
  printf '<x:xmpmeta xmlns:x="adobe:ns:meta/"/>' >"$work/card/$name.XMP"
done
files=$((groups * 3))

prepare="rm -rf '$work/dst' '$work/state' && mkdir '$work/dst'"
# Every file copied, and A's groups whole: three names under each prefix.
check() {
  local n
  n=$(find "$work/dst" -type f | wc -l)
  [ "$n" -eq "$files" ] || { echo "$1 copied $n of $files files" >&2; exit 1; }
  if [ "$1" = "folders+groups" ]; then
    n=$(find "$work/dst" -type f -printf '%f\n' | cut -d_ -f1-2 | sort -u | wc -l)
    [ "$n" -eq "$groups" ] || { echo "$n prefixes for $groups groups" >&2; exit 1; }
  fi
}

a_name=folders+groups b_name=flat compare_pairs \
  "import of $files files ($groups groups): A --folders=%Y/%m/%d with groups, B flat, --no-groups" \
  "$prepare" check \
  "'$ours' run '$work/card' '$work/dst' --all --stamp=capture --copy --quiet --folders=%Y/%m/%d" \
  "'$ours' run '$work/card' '$work/dst' --all --stamp=capture --copy --quiet --no-groups"
