#!/usr/bin/env bash
# Takes the README's picture of the main window: builds m_sifter, starts it
# with fresh settings on a virtual screen under a small window manager (so the
# title bar shows) and saves the screen, cut to the window, as
# docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The same configuration as the test command: only the program is built here,
# and the build folder stays ready for the tests.
cmake --preset default >/dev/null
cmake --build --preset default --target m_sifter

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/run" "$work/tmp"
chmod 700 "$work/run"

cat >"$work/shoot.sh" <<'INNER'
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
./build/app/m_sifter &
app=$!
sleep 3
import -window root "$SHOT_RAW"
kill "$app" "$wm" 2>/dev/null || true
wait 2>/dev/null || true
INNER

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/tmp" TEMP="$work/tmp" TMP="$work/tmp"
export SHOT_RAW="$work/screen.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh"
# The screen around the window is plain black.
convert "$SHOT_RAW" -trim +repage docs/screenshot.png
echo "docs/screenshot.png"
