#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real window on a virtual screen, driven by the keyboard: ツール →
# 取り込みの設定 turns on skipping what the destination holds, the title says
# so, and 実 行 pressed in two starts of the window copies each file once.
# Then the command line's --from-settings plans from the same store: every
# file skipped. Skips (status 77) where the virtual screen cannot start.
#
# import_options.sh APP CLI SEED_SETTINGS WORK_DIR
set -euo pipefail
source "$(dirname "$0")/window_session.sh"

if [ "${1:-}" = --session ]; then
  app=$2 work=$3
  start_window_manager
  # One start of the window: $1 = "set" turns skip-identical on first; 実 行
  # is pressed once and the window closed.
  press_execute() {
    start_app
    if [ "$1" = set ]; then
      keys alt+t i
      dialog=$(window "取り込みの設定$") || stop "取り込みの設定 did not open"
      activate "$dialog"
      keys alt+s Return
      window "取り込みの設定あり" >/dev/null || stop "the title does not say that an option is on"
      activate "$main"
    else
      window "取り込みの設定あり" >/dev/null || stop "the option was not kept"
    fi
    before=$(find "$work/state" -name '*.journal' 2>/dev/null | wc -l)
    # The focus starts on the first button of the tab order; 実 行 is the third.
    keys Tab Tab space
    until_true '[ "$(find "$work/state" -name "*.journal" | wc -l)" -gt "$before" ]' ||
      stop "実 行 did not run"
    sleep 2
    close_app
  }

  press_execute set
  [ "$(count "$work/dst")" -eq 2 ] || fail "first run copied: $(ls "$work/dst" | tr '\n' ' ')"
  echo "the first 実 行 copied both files"
  press_execute again
  [ "$(count "$work/dst")" -eq 2 ] || fail "second run copied: $(ls "$work/dst" | tr '\n' ' ')"
  [ "$(count "$work/src")" -eq 2 ] || fail "the sources are not all there"
  echo "the second 実 行 copied nothing"
  exit 0
fi

app=$1 cli=$2 seed=$3 work=$4
prepare_work
"$seed" "$work/src" "$work/dst" copy || fail "the settings could not be saved"
run_on_virtual_screen "$app" "$work"

# The command line starts from what the window stored: skip-identical and
# copying included.
"$cli" run --from-settings --dry-run >"$work/plan" 2>"$work/plan.err" ||
  fail "the plan failed: $(cat "$work/plan.err")"
grep -q '処理予定： 0 ファイル   スキップ 2 ファイル   コピー先' "$work/plan" ||
  fail "the plan: $(cat "$work/plan")"
echo "--from-settings plans with the window's import options"
