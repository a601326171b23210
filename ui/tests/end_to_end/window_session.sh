# SPDX-License-Identifier: GPL-3.0-or-later
# What the window's end-to-end scripts share: sourced, never run. Driving
# the real window by the keyboard on a virtual screen, and the folders and
# variables that keep a run's settings, journals and logs inside WORK.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits for a window whose title holds $1; prints its id.
window() {
  timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
# Waits until the shell text $1 succeeds, run anew each time, for up to 20 seconds.
until_true() {
  for _ in $(seq 200); do
    eval "$1" && return 0
    sleep 0.1
  done
  return 1
}
count() { ls -A "$1" | wc -l; }
keys() { xdotool key --clearmodifiers --delay 100 "$@"; }
# Brings the window $1 to the front and gives the program time to focus in it.
activate() {
  xdotool windowactivate --sync "$1"
  sleep 1
}
shown() { xdotool search --onlyvisible --name "$2" 2>/dev/null | grep -qx "$1"; }
# The program's output and its error log, after a failure.
show_log() {
  { echo "--- program output:"; cat "$work/app.out"; } >&2
  [ -e "$work/tmp/m_sifter_ErrLog.txt" ] && { echo "--- error log:"; cat "$work/tmp/m_sifter_ErrLog.txt"; } >&2 || true
}

# Starts the program ($app, its output in $work/app.out, its process $pid)
# and brings its main window ($main) to the front.
start_app() {
  "$app" >"$work/app.out" 2>&1 &
  pid=$!
  main=$(window "ファイル検索移動プログラム") || stop "the main window did not open"
  activate "$main"
}
# Ends the program started by start_app and fails, its log shown.
stop() {
  kill "$pid" 2>/dev/null || true
  show_log
  fail "$*"
}
# Closes the front window by the keyboard (the main window: the program
# ends) and fails unless the program ended well and wrote no error log.
close_app() {
  local status=0
  keys alt+F4
  timeout 20 tail --pid="$pid" -f /dev/null || stop "the program did not end"
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { show_log; fail "the program ended with status $status"; }
  [ ! -e "$work/tmp/m_sifter_ErrLog.txt" ] || { show_log; fail "the program wrote an error log"; }
}

# A window manager for the session, ended with the script.
start_window_manager() {
  openbox >/dev/null 2>&1 &
  wm=$!
  trap 'kill "$wm" 2>/dev/null || true' EXIT
  # The window manager is up before the window comes.
  sleep 1
}

# Fresh folders under $work: src, dst and the program's own; two photos in
# src; every place the program keeps something pointed inside $work.
prepare_work() {
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
}

# Runs this script again with --session and its arguments on a virtual
# screen; skips (77) where none starts.
run_on_virtual_screen() {
  local screen=(-a -s "-screen 0 1280x1024x24 -nolisten tcp")
  if ! xvfb-run "${screen[@]}" true 2>/dev/null; then
    echo "SKIP: the virtual screen (xvfb-run) does not start here"
    exit 77
  fi
  xvfb-run "${screen[@]}" bash "$0" --session "$@"
}
