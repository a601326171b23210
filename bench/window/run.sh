#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real main window over a run of 1,000,000 files: peak memory, the time
# from the summary to the painted list, and the longest the window thread
# went without answering.
#
#   bash bench/window/run.sh [BUILD_DIR]        (default: build; RUNS=3)
#
# The window runs under Xvfb (PLATFORM=offscreen runs it without an X
# server). Each run moves a fresh tree of hard links to one seed tree into an
# empty folder on the same file system, so the seed is made once and kept.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$repo/build}")
driver=$build/bench/window/window_bench
make_tree=$build/bench/bench_make_tree
runs=${RUNS:-3}
platform=${PLATFORM:-xcb}
work=${TMPDIR:-/tmp}/msifter-bench-window
[ -x "$driver" ] && [ -x "$make_tree" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }

# 1,000,000 empty files in 1,000 folders.
mkdir -p "$work"
if [ ! -e "$work/seed.complete" ]; then
  rm -rf "$work/seed"
  "$make_tree" "$work/seed" 1000 1000 0 11
  touch "$work/seed.complete"
fi
trap 'rm -rf "$work/src" "$work/dst" "$work/empty" "$work/home"' EXIT

for run in $(seq "$runs"); do
  rm -rf "$work/src" "$work/dst" "$work/empty" "$work/home"
  cp -al "$work/seed" "$work/src"
  mkdir -p "$work/dst" "$work/empty" "$work/home/config" "$work/home/run" "$work/home/tmp"
  chmod 700 "$work/home/run"
  sync
  echo "== run $run of $runs ($platform); load average $(cut -d' ' -f1-3 /proc/loadavg)"
  # Settings, runtime files and the error log stay in the work folder.
  home=(XDG_CONFIG_HOME="$work/home/config" XDG_RUNTIME_DIR="$work/home/run"
        TMPDIR="$work/home/tmp" TEMP="$work/home/tmp" TMP="$work/home/tmp")
  if [ "$platform" = offscreen ]; then
    env "${home[@]}" QT_QPA_PLATFORM=offscreen "$driver" "$work/src" "$work/dst" "$work/empty"
  else
    env "${home[@]}" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
      "$driver" "$work/src" "$work/dst" "$work/empty"
  fi
  moved=$(find "$work/dst" -type f | wc -l)
  echo "files in the destination:  $moved"
done
