# SPDX-License-Identifier: GPL-3.0-or-later
# What each end-to-end script of m_sifter-cli begins with: its two
# arguments, a work folder of its own that holds the runs' state, settings,
# home and temporary folders, and the checks every case uses. Sourced; the
# script sets the trap that removes $work.
#
#   source case_setup.sh M_SIFTER_CLI CASE
cli=$1
case_name=$2

fail() {
  echo "FAIL ($case_name): $*" >&2
  exit 1
}

# expect_status STATUS COMMAND...: COMMAND's output in $work/out and its
# errors in $work/err; fails unless it ended with STATUS.
expect_status() {
  local expected=$1
  shift
  local status=0
  "$@" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq "$expected" ] ||
    fail "exit $status, not $expected: $* (stderr: $(cat "$work/err"))"
}

work=$(mktemp -d)
mkdir -p "$work/tmp"
export XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config HOME=$work/home
export TMPDIR=$work/tmp TEMP=$work/tmp TMP=$work/tmp LANG=C.UTF-8
