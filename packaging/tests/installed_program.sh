#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs m_sifter into a temporary DESTDIR, checks the installed tree, runs
# the installed m_sifter-cli without a display, then starts the installed program the way the desktop menu does (the entry's Exec
# line through PATH) under a headless X server. Its main window must open,
# and closing the window must take the program through its end window to a
# normal end, with no error log: so the installed program found its message
# database from its own folder.
#
# installed_program.sh BUILD_DIR WORK_DIR WINDOW_PROBE APP_DIR APPSTREAM_ID ICON_SIZES [APPSTREAM_OPTION...]
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [ "${1:-}" = --session ]; then
  # Runs inside xvfb-run, with DISPLAY set.
  shift
  prefix=$1 home=$2 probe=$3
  desktop_entry=$prefix/share/applications/m_sifter.desktop
  read -r -a command <<<"$(sed -n 's/^Exec=//p' "$desktop_entry")"
  [ ${#command[@]} -gt 0 ] || fail "the desktop entry has no Exec line"

  # A clean session: the user's own settings, lock and temporary folder stay
  # untouched, and the working folder is not the program's folder.
  mkdir -p "$home/config" "$home/runtime" "$home/tmp"
  chmod 700 "$home/runtime"
  session_env=(
    HOME="$home" PATH="$prefix/bin:/usr/bin:/bin" LANG=C.UTF-8
    DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" QT_QPA_PLATFORM=xcb
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime"
    TMPDIR="$home/tmp" TEMP="$home/tmp" TMP="$home/tmp"
  )
  for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [ -n "${!name:-}" ] && session_env+=("$name=${!name}")
  done
  resolved=$(env -i "${session_env[@]}" bash -c 'command -v "$1"' _ "${command[0]}") ||
    fail "the entry's command ${command[0]} is not on PATH"
  [ "$resolved" = "$prefix/bin/m_sifter" ] || fail "the entry's command resolves to $resolved"

  cd "$home"
  env -i "${session_env[@]}" timeout 60 "${command[@]}" &
  pid=$!
  error_log=$home/tmp/m_sifter_ErrLog.txt
  show_log() { [ -e "$error_log" ] && { echo "--- error log:"; cat "$error_log"; } >&2 || true; }

  title=
  for _ in $(seq 30); do
    title=$("$probe" wait "ファイル検索移動プログラム" 1 2>/dev/null) && break
    kill -0 "$pid" 2>/dev/null || break
  done
  if [ -z "$title" ]; then
    kill "$pid" 2>/dev/null || true
    show_log
    fail "the main window did not open"
  fi
  echo "main window: $title"
  # Docks group the window under the menu entry by this class.
  wm_class=$("$probe" class "ファイル検索移動プログラム" 5) || fail "the main window went away by itself"
  echo "window class: $wm_class"
  startup_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_entry")
  case " $wm_class " in
    *" $startup_class "*) ;;
    *) fail "the window's WM_CLASS \"$wm_class\" does not hold the entry's StartupWMClass $startup_class" ;;
  esac
  sleep 1
  "$probe" close "ファイル検索移動プログラム" 5 >/dev/null || fail "the main window went away by itself"
  if ! title=$("$probe" wait "終了処理" 10); then
    kill "$pid" 2>/dev/null || true
    fail "closing the main window showed no end window"
  fi
  echo "end window: $title"
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { show_log; fail "the program ended with status $status"; }
  [ ! -e "$error_log" ] || { show_log; fail "the program wrote an error log"; }
  echo "the installed program started and ended normally"
  exit 0
fi

build=$1 work=$2 probe=$3 app_dir=$4 appstream_id=$5 icon_sizes=$6
shift 6
appstream_options=("$@")

rm -rf "$work"
mkdir -p "$work"
root=$work/root
prefix=$root/usr
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# The application folder holds everything the program looks for beside itself.
[ -f "$prefix/$app_dir/m_sifter" ] && [ -x "$prefix/$app_dir/m_sifter" ] ||
  fail "no executable in $app_dir"
[ -s "$prefix/$app_dir/sys/msg" ] || fail "no sys/msg beside the executable"
[ -s "$prefix/$app_dir/index.html" ] || fail "no index.html beside the executable"
[ -s "$prefix/$app_dir/README.md" ] || fail "no README.md beside the executable (the About window's link)"
grep -q '^License: GPL-3.0-or-later$' "$prefix/share/doc/m-sifter/copyright" ||
  fail "the copyright file does not state the licence"

# Each command is a relative link into it, so the tree works from any prefix.
for program in m_sifter m_sifter-cli; do
  [ -x "$prefix/$app_dir/$program" ] || fail "no $program in $app_dir"
  [ -L "$prefix/bin/$program" ] || fail "bin/$program is not a link"
  case $(readlink "$prefix/bin/$program") in
    /*) fail "bin/$program is an absolute link" ;;
  esac
  [ "$(readlink -f "$prefix/bin/$program")" = "$(readlink -f "$prefix/$app_dir/$program")" ] ||
    fail "bin/$program does not lead to $app_dir/$program"
done

# The command line, started through its link without a display, finds the
# message database in its own folder (the window's text for a missing
# folder comes from it) and runs.
cli_home=$work/cli-home
mkdir -p "$cli_home/tmp" "$cli_home/src" "$cli_home/dst"
printf 'photo' >"$cli_home/src/a.jpg"
cli_env=(HOME="$cli_home" PATH="$prefix/bin:/usr/bin:/bin" LANG=C.UTF-8 TMPDIR="$cli_home/tmp"
  XDG_STATE_HOME="$cli_home/state" XDG_CONFIG_HOME="$cli_home/config")
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  [ -n "${!name:-}" ] && cli_env+=("$name=${!name}")
done
status=0
(cd "$cli_home" && env -i "${cli_env[@]}" m_sifter-cli run missing dst --all) 2>"$work/cli.err" ||
  status=$?
[ "$status" -eq 2 ] && grep -qx '移動元のフォルダが存在しません。' "$work/cli.err" ||
  fail "m_sifter-cli on a missing folder: status $status, $(cat "$work/cli.err")"
(cd "$cli_home" && env -i "${cli_env[@]}" m_sifter-cli run src dst --all --serial --quiet) ||
  fail "m_sifter-cli run failed"
[ "$(ls "$cli_home/dst")" = 0000000000_a.jpg ] || fail "m_sifter-cli moved: $(ls "$cli_home/dst")"

for size in $icon_sizes; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/m_sifter.png
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "$png: $(file -b "$png")"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/m_sifter.svg" || fail "no scalable icon"
[ -f "$prefix/share/metainfo/$appstream_id.metainfo.xml" ] || fail "no metainfo"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$prefix/share/metainfo/$appstream_id.metainfo.xml" || fail "the metainfo states no licence"
for page in m_sifter m_sifter-cli; do
  man_warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null) ||
    fail "man $page: $man_warnings"
  [ -z "$man_warnings" ] || fail "the manual page of $page has faults: $man_warnings"
done

# The tree as a software centre reads it: the metainfo must find its desktop entry.
appstreamcli validate-tree "${appstream_options[@]}" "$root" || fail "appstreamcli validate-tree"

xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
  bash "$0" --session "$prefix" "$work/home" "$probe"
