# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the benchmarks that time two commands in alternating pairs
# (A B A B ...) and report the median of the per-pair ratios. Sourced.

# bench_setup NAME PAIRS [BUILD_DIR] [WORK_DIR]: sets build (default:
# build) and work (default: BUILD_DIR/bench-NAME-work), both absolute, and
# pairs, the timed pairs ($PAIRS, or PAIRS when it is not set).
bench_setup() {
  build=$(realpath "${3:-build}")
  work=$(realpath -m "${4:-$build/bench-$1-work}")
  pairs=${PAIRS:-$2}
}

# cli_bench_setup NAME PAIRS [BUILD_DIR] [WORK_DIR]: bench_setup, and ours:
# the command line's program in that build (see built below).
cli_bench_setup() {
  bench_setup "$@"
  ours=$(built app/m_sifter-cli)
}

# built PROGRAM: $build/PROGRAM, which the build makes; fails (and so ends
# the benchmark, set -e) when it has not been built.
built() {
  [ -x "$build/$1" ] || { echo "build first: cmake --build --preset default ($build/$1)" >&2; return 1; }
  echo "$build/$1"
}

# fresh_work: an empty $work, removed when the benchmark ends.
fresh_work() {
  rm -rf "$work"
  mkdir -p "$work"
  trap 'rm -rf "$work"' EXIT
}

# runs_keep_in_work KIND...: what the runs keep of that kind (state, config,
# cache: $XDG_<KIND>_HOME) goes into $work/KIND.
runs_keep_in_work() {
  local kind
  for kind in "$@"; do export "XDG_${kind^^}_HOME=$work/$kind"; done
}

# wanted CASE: true unless ONLY names another case.
wanted() { [ -z "${ONLY:-}" ] || [ "$ONLY" = "$1" ]; }

# seconds COMMAND: runs COMMAND (its output dropped), prints its wall time.
seconds() {
  local start=$EPOCHREALTIME
  eval "$1" >/dev/null
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}

# ratio A B: A / B to three places.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# print_median TITLE RATIO...: the median, the range and the load average.
print_median() {
  local title=$1
  shift
  printf '%s\n' "$@" | sort -n | awk -v t="$title" '{ r[NR] = $1 }
    END { m = (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
          printf "%s: median of %d per-pair ratios %.3f (%.3f to %.3f; load average after: ", t, NR, m, r[1], r[NR] }'
  echo "$(cut -d' ' -f1-3 /proc/loadavg))"
}

# compare_pairs TITLE PREPARE CHECK A B: a warm-up pair, then $pairs timed
# pairs; PREPARE (and a sync) before each side, CHECK after it with the
# side's name ($a_name or $b_name, default A and B) as its argument.
compare_pairs() {
  local title=$1 prepare=$2 check=$3 a_cmd=$4 b_cmd=$5 ratios=() a b r i
  local an=${a_name:-A} bn=${b_name:-B}
  echo "== $title (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
  for ((i = 0; i <= pairs; i++)); do
    eval "$prepare" && sync
    a=$(seconds "$a_cmd")
    eval "$check '$an'"
    eval "$prepare" && sync
    b=$(seconds "$b_cmd")
    eval "$check '$bn'"
    r=$(ratio "$a" "$b")
    if [ "$i" -eq 0 ]; then
      echo "   warm-up  $an $a s   $bn $b s   ratio $r"
      continue
    fi
    echo "   pair $i   $an $a s   $bn $b s   ratio $r"
    ratios+=("$r")
  done
  print_median "$title" "${ratios[@]}"
}
