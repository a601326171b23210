#!/usr/bin/env bash
# The real window on a virtual screen, driven by the keyboard: ツール →
# 取り込みの設定 turns on skipping what the destination holds, the title says
# so, and 実 行 pressed in two starts of the window copies each file once.
# Then the command line's --from-settings plans from the same store: every
# file skipped. Skips (status 77) where the virtual screen cannot start.
#
# import_options.sh APP CLI SEED_SETTINGS WORK_DIR
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [ "${1:-}" = --session ]; then
  app=$2 work=$3
  openbox >/dev/null 2>&1 &
  wm=$!
  trap 'kill "$wm" 2>/dev/null || true' EXIT
  sleep 1
  error_log=$work/tmp/m_sifter_ErrLog.txt
  window() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
  }
  until_true() {
    for _ in $(seq 200); do
      eval "$1" && return 0
      sleep 0.1
    done
    return 1
  }
  count() { ls -A "$1" | wc -l; }
  keys() { xdotool key --clearmodifiers --delay 100 "$@"; }
  activate() {
    xdotool windowactivate --sync "$1"
    sleep 1
  }
  # One start of the window: $1 = "set" turns skip-identical on first; 実 行
  # is pressed once and the window closed.
  press_execute() {
    "$app" >"$work/app.out" 2>&1 &
    pid=$!
    stop() {
      kill "$pid" 2>/dev/null || true
      { echo "--- program output:"; cat "$work/app.out"; } >&2
      [ -e "$error_log" ] && { echo "--- error log:"; cat "$error_log"; } >&2 || true
      fail "$*"
    }
    main=$(window "ファイル検索移動プログラム") || stop "the main window did not open"
    activate "$main"
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
    keys alt+F4
    timeout 20 tail --pid="$pid" -f /dev/null || stop "the program did not end"
    wait "$pid" || stop "the program failed"
    [ ! -e "$error_log" ] || stop "the program wrote an error log"
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
rm -rf "$work"
mkdir -p "$work/src" "$work/dst" "$work/config" "$work/state" "$work/run" "$work/tmp"
chmod 700 "$work/run"
head -c 5000 /dev/urandom >"$work/src/a.jpg"
printf 'second photo' >"$work/src/b.jpg"

export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
export XDG_CACHE_HOME=$work/cache
export TMPDIR=$work/tmp TEMP=$work/tmp TMP=$work/tmp HOME=$work LANG=C.UTF-8
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORM_PLUGIN_PATH
"$seed" "$work/src" "$work/dst" copy || fail "the settings could not be saved"

if ! xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" true 2>/dev/null; then
  echo "SKIP: the virtual screen (xvfb-run) does not start here"
  exit 77
fi
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" --session "$app" "$work"

# The command line starts from what the window stored: skip-identical and
# copying included.
"$cli" run --from-settings --dry-run >"$work/plan" 2>"$work/plan.err" ||
  fail "the plan failed: $(cat "$work/plan.err")"
grep -q '処理予定： 0 ファイル   スキップ 2 ファイル   コピー先' "$work/plan" ||
  fail "the plan: $(cat "$work/plan")"
echo "--from-settings plans with the window's import options"
