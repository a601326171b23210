#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real window on a virtual screen, driven by the keyboard as a user
# would: 実 行 moves the files, ツール → 実行履歴 lists the run, 元に戻す and
# the confirmation take it back, and the files are where they were. Skips
# (status 77) where the virtual screen cannot start.
#
# history_undo.sh APP SEED_SETTINGS WORK_DIR
set -euo pipefail
source "$(dirname "$0")/window_session.sh"

if [ "${1:-}" = --session ]; then
  app=$2 work=$3
  start_window_manager
  start_app
  # The focus starts on the first button of the tab order; 実 行 is the third.
  keys Tab Tab space
  until_true '[ "$(count "$work/src")" -eq 0 ]' ||
    stop "実 行 did not move the files: $(ls -A "$work/src" | tr '\n' ' ')"
  [ "$(count "$work/dst")" -eq 2 ] || stop "moved: $(ls "$work/dst" | tr '\n' ' ')"
  echo "実 行 moved the files"
  sleep 1

  keys alt+t r
  history=$(window "実行履歴") || stop "実行履歴 did not open"
  activate "$history"
  # The list of runs has the focus; 元に戻す follows the files list.
  keys Tab Tab space
  confirm=$(window "^m_sifter$") || stop "no confirmation was asked"
  echo "the confirmation is shown"
  activate "$confirm"
  keys Return
  until_true '! shown "$confirm" "^m_sifter$"' || stop "the confirmation stayed"
  until_true '[ "$(count "$work/src")" -eq 2 ]' ||
    stop "the files did not come back: $(ls -AR "$work/src" | tr '\n' ' ')"
  echo "the files are back"
  result=$(window "^m_sifter$") || stop "no result was shown"
  activate "$result"
  keys Return
  until_true '! shown "$result" "^m_sifter$"' || stop "the result stayed"
  [ -z "$(ls -A "$work/dst")" ] || stop "left in the destination: $(ls -A "$work/dst")"
  cmp -s "$work/src/a.jpg" "$work/expected/a.jpg" || stop "a.jpg came back changed"
  cmp -s "$work/src/b.jpg" "$work/expected/b.jpg" || stop "b.jpg came back changed"

  activate "$history"
  keys Escape
  activate "$main"
  close_app
  echo "moved by 実 行, taken back from 実行履歴"
  exit 0
fi

app=$1 seed=$2 work=$3
prepare_work
mkdir -p "$work/expected"
cp "$work/src/a.jpg" "$work/src/b.jpg" "$work/expected/"
"$seed" "$work/src" "$work/dst" || fail "the settings could not be saved"
run_on_virtual_screen "$app" "$work"
