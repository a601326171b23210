#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The finder against find(1) on the same trees, warm cache, the two commands
# run alternately (finder, find, finder, find, ...) so that a change in the
# machine's load falls on both; each pair gives one ratio finder / find and
# the median of those ratios is the figure. Then the peak memory of a search
# that lists 1,000,000 entries.
#
#   bash bench/finder/run.sh [BUILD_DIR]        (default: build)
#   PAIRS=N overrides the number of pairs (default 15 on 100k files, 11 on 1M)
#
# Trees live in the temporary folder, never in the repository; they are made
# once and kept for later runs.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
cli=$build/bench/finder/finder_cli
make_tree=$build/bench/bench_make_tree
tmp=${TMPDIR:-/tmp}
tree=$tmp/msifter-bench-finder-100k
big=$tmp/msifter-bench-finder-1m
out=$build/bench/finder
[ -x "$cli" ] && [ -x "$make_tree" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }

# Wall time of one command in microseconds and its processor time (user +
# system) in milliseconds, its output thrown away. On a busy machine the
# processor time says more than the wall time.
measure() {
  local t0 t1
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o "$out/cpu.txt" bash -c "$1" >/dev/null 2>&1
  t1=$EPOCHREALTIME
  echo "$((${t1/./} - ${t0/./})) $(awk '{ printf "%d", ($1 + $2) * 1000 }' "$out/cpu.txt")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# alternate NAME PAIRS TARGET FINDER_CMD FIND_CMD: one warm-up of each, then
# PAIRS pairs; writes NAME-pairs.csv and prints the medians.
alternate() {
  local name=$1 pairs=$2 target=$3 a=$4 b=$5 i wa ca wb cb
  local csv=$out/$name-pairs.csv
  eval "$a" >/dev/null 2>&1
  eval "$b" >/dev/null 2>&1
  echo "pair,finder_us,find_us,wall_ratio,finder_cpu_ms,find_cpu_ms,cpu_ratio" >"$csv"
  for ((i = 1; i <= pairs; i++)); do
    read -r wa ca < <(measure "$a")
    read -r wb cb < <(measure "$b")
    awk -v i="$i" -v wa="$wa" -v wb="$wb" -v ca="$ca" -v cb="$cb" \
      'BEGIN { printf "%d,%d,%d,%.4f,%d,%d,%.4f\n", i, wa, wb, wa / wb, ca, cb, (cb > 0 ? ca / cb : 0) }' >>"$csv"
  done
  col() { tail -n +2 "$csv" | cut -d, -f"$1" | median; }
  awk -v n="$name" -v p="$pairs" -v a="$(col 2)" -v b="$(col 3)" -v r="$(col 4)" -v cr="$(col 7)" \
    -v t="$target" 'BEGIN {
    printf "%s, %d pairs: median finder %.1f ms, find %.1f ms; median of per-pair ratios %.3f", n, p, a / 1000, b / 1000, r
    printf " (target <= %.2f): %s; processor time ratio %.3f\n", t, (r <= t ? "met" : "NOT met"), cr }'
}

same_lists() {
  if ! cmp -s "$1" "$2"; then
    echo "finder and find disagree; see $1 and $2" >&2
    exit 1
  fi
  echo "both list $(wc -l <"$1") files"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# 100,000 files in 1,000 folders, sizes 0 to 64 KB: the image types with
# size bounds, as a transfer run searches.
if [ ! -e "$tree.complete" ]; then
  rm -rf "$tree"
  "$make_tree" "$tree" 1000 100 65536 7
  touch "$tree.complete"
fi
patterns='*.BMP;*.GIF;*.TIFF;*.TIF;*.JPG;*.JPEG;*.PNG;*.PCD'
min=1024
max=32768
# The destination outside the tree, as in most runs: the search still asks
# each folder whether it is the destination.
finder_cmd="$cli $tree '$patterns' --min $min --max $max --destination $tmp"
find_cmd="find $tree -type f \\( -iname '*.bmp*' -o -iname '*.gif*' -o -iname '*.tiff*' -o -iname '*.tif*' \
-o -iname '*.jpg*' -o -iname '*.jpeg*' -o -iname '*.png*' -o -iname '*.pcd*' \\) \
-size +$((min - 1))c -size -$((max + 1))c"
eval "$finder_cmd" 2>/dev/null | sort >"$out/finder.txt"
eval "$find_cmd" | sort >"$out/find.txt"
same_lists "$out/finder.txt" "$out/find.txt"
alternate images-100k "${PAIRS:-15}" 1.20 "$finder_cmd" "$find_cmd"

# 1,000,000 empty files in 1,000 folders, all files: every name is listed,
# sized and sorted; find prints size and path of each.
if [ ! -e "$big.complete" ]; then
  rm -rf "$big"
  "$make_tree" "$big" 1000 1000 0 11
  touch "$big.complete"
fi
"$cli" "$big" '*' --destination "$tmp" 2>/dev/null | sort >"$out/finder-1m.txt"
find "$big" -type f | sort >"$out/find-1m.txt"
same_lists "$out/finder-1m.txt" "$out/find-1m.txt"
rm -f "$out/finder-1m.txt" "$out/find-1m.txt"
alternate all-files-1m "${PAIRS:-11}" 1.00 "$cli $big '*' --destination $tmp" \
  "find $big -type f -printf '%s\\t%p\\n'"

/usr/bin/time -v "$cli" "$big" '*' --quiet 2>"$out/time-1m.txt"
entries=$(head -1 "$out/time-1m.txt")
peak_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$out/time-1m.txt")
echo "1m tree: $entries; peak resident $((peak_kb / 1024)) MB (target < 300 MB): \
$([ "$peak_kb" -lt $((300 * 1024)) ] && echo met || echo NOT met)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
