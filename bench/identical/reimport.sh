#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A second import of a memory card whose files are all in the library
# already, the library's index warm, against reading the card's bytes once.
# The two commands alternate pair by pair (A, B, A, B, ...); the result is
# the median of the per-pair ratios A / B, after one warm-up pair.
#
#   bash bench/identical/reimport.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=7 CARD=2000 LIBRARY=100000 MIN=1000000 MAX=3000000 (bytes a photo)
#
#   A: m_sifter-cli run CARD LIBRARY --all --subfolders --copy --skip-identical --quiet
#   B: find CARD -type f -exec cat {} + >/dev/null
set -euo pipefail
# shellcheck source=../pairs.sh
source "$(dirname "${BASH_SOURCE[0]}")/../pairs.sh"
cli_bench_setup reimport 7 "${1:-}" "${2:-}"
make_library=$(built bench/identical/identical_make_library)
card=${CARD:-2000} library=${LIBRARY:-100000} min=${MIN:-1000000} max=${MAX:-3000000}

fresh_work
# Journals, settings and the library's index go into the work folder.
runs_keep_in_work state config cache

echo "making a card of $card photos and a library of $library ($min to $max bytes each)"
"$make_library" "$work" "$card" "$library" "$min" "$max"
echo "card: $(du -sh --apparent-size "$work/card" | cut -f1)"
run="'$ours' run '$work/card' '$work/library' --all --subfolders --copy --skip-identical"

# The first import finds no index: every folder of the library is listed.
# The second reads the copies once to learn their digests; from then on the
# index is warm.
for what in "first (no index)" "second"; do
  start=$EPOCHREALTIME
  eval "$run" >"$work/out"
  echo "$what import: $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }') s: $(tail -n 1 "$work/out")"
done
grep -q "スキップ $card ファイル" "$work/out" || { echo "not every file was skipped" >&2; exit 1; }
echo "peak memory of a warm import: $(/usr/bin/time -f %M sh -c "$run --quiet" 2>&1 >/dev/null | tail -n 1) KB"

check() {
  local files
  files=$(find "$work/library" -type f | wc -l)
  [ "$files" -eq "$library" ] || { echo "$1: the library now has $files files" >&2; exit 1; }
}
compare_pairs "re-import: A m_sifter-cli run --skip-identical (index warm), B find -exec cat; $card photos, library of $library" \
  ":" check "$run --quiet" "find '$work/card' -type f -exec cat {} + >/dev/null"
