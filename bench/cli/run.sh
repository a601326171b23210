#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# m_sifter-cli against the engine's own driver, and --skip-identical against a
# plain run. Each pair alternates the two commands (A, B, A, B, ...), each on
# a fresh tree of hard links to one seed tree with the preparation's
# write-back settled (sync) outside the timed part; the result is the median
# of the per-pair ratios A / B. One warm-up pair comes first, not counted.
#
#   bash bench/cli/run.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=7 (timed pairs)   ONLY=engine|spread|same (one case alone)
#
#   engine: 100,000 files of 200 bytes in 100 folders, moved within one file
#           system: m_sifter-cli run SRC DST --all --subfolders --quiet
#           against bench/transfer's transfer_cli move SRC DST
#   spread: that move with --skip-identical against it without, on 100,000
#           files that all differ, no two of one size (200 B to 100 KB,
#           about 5 GB), none of them in the destination
#   same:   the same on 100,000 files of 200 bytes that all differ: every
#           file shares its size, so each is read
set -euo pipefail
# shellcheck source=../pairs.sh
source "$(dirname "${BASH_SOURCE[0]}")/../pairs.sh"
cli_bench_setup cli 7 "${1:-}" "${2:-}"
engine=$(built bench/transfer/transfer_cli)
make_tree=$(built bench/transfer/transfer_make_tree)

fresh_work
# Both sides write their journals into the work folder.
runs_keep_in_work state config

prepare() {
  rm -rf "$work/src" "$work/dst"
  cp -al "$work/seed" "$work/src"
  mkdir "$work/dst"
}

check() {
  local left
  left=$(find "$work/dst" -type f | wc -l)
  [ "$left" -eq 100000 ] || { echo "$1 left $left files" >&2; exit 1; }
}

# compare TITLE A B
compare() { compare_pairs "$1" prepare check "$2" "$3"; }

run="'$ours' run '$work/src' '$work/dst' --all --subfolders --quiet"
if wanted engine; then
  "$make_tree" "$work/seed" 100 1000 200
  compare "engine: A m_sifter-cli run, B transfer_cli move; 100,000 files" \
    "$run" "'$engine' move '$work/src' '$work/dst'"
  rm -rf "$work/seed"
fi
for sizes in spread same; do
  if wanted $sizes; then
    # "same": every file 200 bytes, so each shares its size with all others.
    "$make_tree" "$work/seed" 100 1000 "$([ $sizes = same ] && echo 200 || echo spread)" distinct
    compare "$sizes: A --skip-identical, B without; 100,000 different files, none in the destination" \
      "$run --skip-identical" "$run"
    rm -rf "$work/seed"
  fi
done
