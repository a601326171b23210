# Shared by the benchmarks that time two commands in alternating pairs
# (A B A B ...) and report the median of the per-pair ratios. Sourced.

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
