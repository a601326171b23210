#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The transfer run against mv and cp -p. The two commands alternate, pair by
# pair (m_sifter, peer, m_sifter, peer, ...), each on a fresh, identical tree
# with the write-back of its preparation settled (sync) outside the timed
# part; the result is the median of the per-pair ratios. One warm-up pair
# comes first and is not counted.
#
#   bash bench/transfer/run.sh [BUILD_DIR] [WORK_DIR]
#   PAIRS=7 (timed pairs)   ONLY=move|copy|across (one case alone)
#
#   move:   100,000 files of 200 bytes in 100 folders, one file system,
#           against  find SRC -type f -print0 | xargs -0 mv -t DST
#   copy:   1,000 files of 1 MB in 10 folders, against
#           find SRC -type f -print0 | xargs -0 cp -p -t DST && sync -f DST
#           (a copy is named only once its contents are on disk)
#   across: 10,000 files of mixed size (about 640 MB) from one loop-mounted
#           ext4 image to another (needs root), against
#           find SRC -type f -print0 | xargs -0 mv -t DST && sync -f DST
#
# WORK_DIR (default: a folder in the build tree) holds the trees and images.
set -euo pipefail
# shellcheck source=../pairs.sh
source "$(dirname "${BASH_SOURCE[0]}")/../pairs.sh"
bench_setup transfer 7 "${1:-}" "${2:-}"
cli=$(built bench/transfer/transfer_cli)
make_tree=$(built bench/transfer/transfer_make_tree)

cleanup() {
  for disk in "$work"/disk-*/; do
    mountpoint -q "$disk" && umount "$disk"
  done
  rm -rf "$work"
}
fresh_work
trap cleanup EXIT
# Every run writes its journal; the benchmark's go with its trees.
runs_keep_in_work state

a_name=m_sifter b_name=peer

# expect_files DESTINATION COUNT SIDE: the side left every file there.
expect_files() {
  local left
  left=$(find "$1" -type f | wc -l)
  [ "$left" -eq "$2" ] || { echo "$3 left $left files" >&2; exit 1; }
}

# compare TITLE PREPARE M_SIFTER PEER DESTINATION EXPECTED_FILES
compare() {
  compare_pairs "$1" "$2" "expect_files '$5' $6" "$3" "$4"
}

if wanted move; then
  "$make_tree" "$work/seed" 100 1000 200
  # Hard links to one seed tree: both sides rename the same inodes.
  compare "move, 100,000 files of 200 bytes, one file system" \
    "rm -rf '$work/src' '$work/dst' && cp -al '$work/seed' '$work/src' && mkdir '$work/dst'" \
    "'$cli' move '$work/src' '$work/dst'" \
    "find '$work/src' -type f -print0 | xargs -0 mv -t '$work/dst'" \
    "$work/dst" 100000
  rm -rf "$work/seed" "$work/src" "$work/dst"
fi

if wanted copy; then
  "$make_tree" "$work/seed" 10 100 1048576
  compare "copy, 1,000 files of 1 MB" \
    "rm -rf '$work/dst' && mkdir '$work/dst'" \
    "'$cli' copy '$work/seed' '$work/dst'" \
    "find '$work/seed' -type f -print0 | xargs -0 cp -p -t '$work/dst' && sync -f '$work/dst'" \
    "$work/dst" 1000
  rm -rf "$work/seed" "$work/dst"
fi

if wanted across; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "== across: skipped (loop-mounting the two disk images needs root)"
  else
    for disk in a b; do
      # Written in full: a sparse image would make whichever side writes a
      # region first pay for the host's allocation of it.
      dd if=/dev/zero of="$work/disk-$disk.img" bs=16M count=128 conv=fsync status=none
      # Inode tables made now, not by a background thread during the runs.
      mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$work/disk-$disk.img"
      mkdir "$work/disk-$disk"
      mount -o loop "$work/disk-$disk.img" "$work/disk-$disk"
    done
    "$make_tree" "$work/disk-a/seed" 100 100 mixed
    # Whoever writes first into a fresh file system pays for setting up its
    # block groups: do that once before the pairs.
    cp -a "$work/disk-a/seed" "$work/disk-b/prime" && rm -rf "$work/disk-b/prime" && sync
    compare "move across disks, 10,000 files of mixed size" \
      "rm -rf '$work/disk-a/src' '$work/disk-b/dst' && cp -al '$work/disk-a/seed' '$work/disk-a/src' && mkdir '$work/disk-b/dst'" \
      "'$cli' move '$work/disk-a/src' '$work/disk-b/dst'" \
      "find '$work/disk-a/src' -type f -print0 | xargs -0 mv -t '$work/disk-b/dst' && sync -f '$work/disk-b/dst'" \
      "$work/disk-b/dst" 10000
  fi
fi
