#!/usr/bin/env bash
# The finder against find(1) on the same tree, warm cache, in one hyperfine
# run; then the peak memory of a search that lists 1,000,000 entries.
#
#   bash bench/finder/run.sh [BUILD_DIR]        (default: build)
#
# Trees live in the temporary folder, never in the repository; the
# million-file tree is made once and kept for later runs.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$repo/build}
cli=$build/bench/finder/finder_cli
make_tree=$build/bench/finder/finder_make_tree
tmp=${TMPDIR:-/tmp}
tree=$tmp/msifter-bench-finder-100k
big=$tmp/msifter-bench-finder-1m
out=$build/bench/finder
[ -x "$cli" ] && [ -x "$make_tree" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }

# 100,000 files in 1,000 folders, sizes 0 to 64 KB.
if [ ! -e "$tree.complete" ]; then
  rm -rf "$tree"
  "$make_tree" "$tree" 1000 100 65536 7
  touch "$tree.complete"
fi

patterns='*.BMP;*.GIF;*.TIFF;*.TIF;*.JPG;*.JPEG;*.PNG;*.PCD'
min=1024
max=32768
finder_cmd="$cli $tree '$patterns' --min $min --max $max"
find_cmd="find $tree -type f \\( -iname '*.bmp*' -o -iname '*.gif*' -o -iname '*.tiff*' -o -iname '*.tif*' \
-o -iname '*.jpg*' -o -iname '*.jpeg*' -o -iname '*.png*' -o -iname '*.pcd*' \\) \
-size +$((min - 1))c -size -$((max + 1))c"

# Both must find the same files before their times mean anything.
eval "$finder_cmd" 2>/dev/null | sort >"$out/finder.txt"
eval "$find_cmd" | sort >"$out/find.txt"
if ! cmp -s "$out/finder.txt" "$out/find.txt"; then
  echo "finder and find disagree; see $out/finder.txt and $out/find.txt" >&2
  exit 1
fi
echo "both list $(wc -l <"$out/finder.txt") files"

hyperfine --warmup 3 --runs 30 --export-csv "$out/hyperfine.csv" --export-json "$out/hyperfine.json" \
  --command-name finder "$finder_cmd" --command-name find "$find_cmd"

# CSV columns: command,mean,stddev,median,...
awk -F, '$1 == "finder" { f = $4 } $1 == "find" { g = $4 }
  END { r = f / g; printf "median finder %.1f ms, find %.1f ms, ratio %.2f (target <= 1.20): %s\n",
        f * 1000, g * 1000, r, (r <= 1.2 ? "met" : "NOT met") }' "$out/hyperfine.csv"

# 1,000,000 files in 1,000 folders, all listed.
if [ ! -e "$big.complete" ]; then
  rm -rf "$big"
  "$make_tree" "$big" 1000 1000 0 11
  touch "$big.complete"
fi
/usr/bin/time -v "$cli" "$big" '*' --quiet 2>"$out/time-1m.txt"
entries=$(head -1 "$out/time-1m.txt")
peak_kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$out/time-1m.txt")
echo "1m tree: $entries; peak resident $((peak_kb / 1024)) MB (target < 300 MB): \
$([ "$peak_kb" -lt $((300 * 1024)) ] && echo met || echo NOT met)"
