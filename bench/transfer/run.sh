#!/usr/bin/env bash
# The transfer run against mv and cp on identical trees, in one hyperfine run
# each. Usage: bench/transfer/run.sh [BUILD_DIR] [WORK_DIR]
#   move: 100,000 small files (100 folders of 1,000, 200 bytes), one file
#         system, date-time prefix, against find | xargs mv -t
#   copy: 1,000 files of 1 MB against find | xargs cp -p -t
# WORK_DIR defaults to a folder in the build tree (the build tree's file system).
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(realpath -m "${2:-$build/bench-transfer-work}")
cli="$build/bench/transfer/transfer_cli"
make_tree="$build/bench/transfer/transfer_make_tree"
runs=${RUNS:-5}
only=${ONLY:-}   # "move" or "copy" for one pair alone

rm -rf "$work" "$build/bench-transfer-"*.json
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

if [ "$only" != copy ]; then
  echo "== move: 100,000 files of 200 bytes in 100 folders"
  "$make_tree" "$work/seed" 100 1000 200
  # Each run starts from a fresh tree of hard links to the seed: same inodes,
  # same names, the same work for both sides.
  prepare="rm -rf '$work/src' '$work/dst' && cp -al '$work/seed' '$work/src' && mkdir '$work/dst' && sync"
  hyperfine --runs "$runs" --warmup 1 --prepare "$prepare" \
    --export-json "$build/bench-transfer-move.json" \
    -n m_sifter "'$cli' move '$work/src' '$work/dst'" \
    -n mv "find '$work/src' -type f -print0 | xargs -0 mv -t '$work/dst'"
  rm -rf "$work/seed" "$work/src" "$work/dst"
fi

if [ "$only" != move ]; then
  echo "== copy: 1,000 files of 1 MB"
  "$make_tree" "$work/seed" 10 100 1048576
  prepare="rm -rf '$work/dst' && mkdir '$work/dst' && sync"
  hyperfine --runs "$runs" --warmup 1 --prepare "$prepare" \
    --export-json "$build/bench-transfer-copy.json" \
    -n m_sifter "'$cli' copy '$work/seed' '$work/dst'" \
    -n cp "find '$work/seed' -type f -print0 | xargs -0 cp -p -t '$work/dst'"
fi

# The targets are ratios of medians: move at most 1.0 x mv, copy at most 1.1 x cp.
for kind in move copy; do
  [ -f "$build/bench-transfer-$kind.json" ] || continue
  grep -E '"(command|median)"' "$build/bench-transfer-$kind.json" |
    sed -E 's/.*"(command|median)": "?([^",]*)"?,?/\2/' | paste - - |
    awk -v kind="$kind" '{ t[NR] = $2; n[NR] = $1 }
      END { printf "%s: median %s %.3f s, %s %.3f s, ratio %.2f\n", kind, n[1], t[1], n[2], t[2], t[1] / t[2] }'
done
