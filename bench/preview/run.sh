#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The preview of a million files against find(1) listing the same tree with
# each file's length, in alternating pairs (A, B, A, B, ...); the result is
# the median of the per-pair ratios A / B. One warm-up pair comes first, not
# counted. Then the preview's peak memory (/usr/bin/time -v).
#
#   bash bench/preview/run.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=7 (timed pairs)   ONLY=all|jpg|serial (one case alone)
#
# The tree (1,000 folders of 1,000 empty files, on disk in WORK_DIR) is made
# once and kept for the next run; remove WORK_DIR to make it again.
#
#   all:    run SRC DST --all --subfolders --dry-run
#           against find SRC -type f -printf '%s %p\n'             (at most 1.5 x)
#   jpg:    run SRC DST --images jpg --subfolders --dry-run
#           against find SRC -iname '*.jpg' -printf '%s %p\n'      (at most 1.0 x)
#   serial: all with --serial, against the same find               (shown)
set -euo pipefail
# shellcheck source=../pairs.sh
source "$(dirname "${BASH_SOURCE[0]}")/../pairs.sh"
cli_bench_setup preview 7 "${1:-}" "${2:-}"
make_tree=$(built bench/bench_make_tree)

mkdir -p "$work/dst"
if [ ! -e "$work/tree-made" ]; then
  rm -rf "$work/src"
  "$make_tree" --camera "$work/src" 1000 1000
  touch "$work/tree-made"
fi
runs_keep_in_work state config

# A preview changes nothing: the destination stays empty.
check() {
  [ -z "$(ls -A "$work/dst")" ] || { echo "$1 wrote into the destination" >&2; exit 1; }
}

preview="'$ours' run '$work/src' '$work/dst' --subfolders --dry-run"
listing="find '$work/src' -type f -printf '%s %p\n'"
a_name=preview b_name=find
if wanted all; then
  compare_pairs "all: A preview --all, B find -type f; 1,000,000 files" : check \
    "$preview --all" "$listing"
fi
if wanted jpg; then
  compare_pairs "jpg: A preview --images jpg, B find -iname '*.jpg'; 200,000 of 1,000,000 files" \
    : check "$preview --images jpg" "find '$work/src' -iname '*.jpg' -printf '%s %p\n'"
fi
if wanted serial; then
  compare_pairs "serial: A preview --all --serial, B find -type f" : check \
    "$preview --all --serial" "$listing"
fi

echo "== peak memory of the previews"
for options in "--all" "--images jpg" "--all --serial" "--all --json"; do
  # shellcheck disable=SC2086
  /usr/bin/time -f "   $options: %M KB, %e s" "$ours" run "$work/src" "$work/dst" --subfolders \
    --dry-run $options >/dev/null
done
