#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the pictures in docs/: the main window as a first start shows it
# (docs/screenshot.png, the README's) and the history window over a few runs
# made by the command line (docs/history.png), and the import options dialog
# with names by capture time and folders by date ticked, not kept
# (docs/import-options.png). Builds m_sifter, starts it
# with fresh settings on a virtual screen under a small window manager (so
# the title bar shows), opens 実行履歴 through the keyboard and saves each
# window with its frame.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The same configuration as the test command: only the programs are built
# here, and the build folder stays ready for the tests.
cmake --preset default >/dev/null
cmake --build --preset default --target m_sifter m_sifter-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/run" "$work/tmp" "$work/state"
chmod 700 "$work/run"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state"
export TMPDIR="$work/tmp" TEMP="$work/tmp" TMP="$work/tmp"

# The runs the history shows: photos of a card moved, a second card copied
# and taken back, and a folder of documents copied.
photos="$work/写真"
mkdir -p "$photos/カード1/DCIM/100CANON" "$photos/カード2/DCIM" "$photos/書類" "$photos/整理済み"
for n in 1 2 3 4 5; do head -c $((n * 70000)) /dev/zero >"$photos/カード1/DCIM/100CANON/IMG_000$n.JPG"; done
for n in 6 7; do head -c $((n * 50000)) /dev/zero >"$photos/カード2/DCIM/IMG_000$n.JPG"; done
printf 'memo' >"$photos/書類/メモ.txt"
cli=./build/app/m_sifter-cli
"$cli" run "$photos/カード1" "$photos/整理済み" --images jpg --subfolders --fix-ext --quiet
sleep 1
"$cli" run "$photos/カード2" "$photos/整理済み" --images jpg --subfolders --copy --quiet
"$cli" undo --quiet
sleep 1
"$cli" run "$photos/書類" "$photos/整理済み" --other txt --copy --serial --quiet

cat >"$work/shoot.sh" <<'INNER'
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
./build/app/m_sifter &
app=$!
sleep 3
import -window root "$SHOT_RAW"
main=$(xdotool search --sync --onlyvisible --name "ファイル検索移動プログラム" | head -n 1)
xdotool windowactivate --sync "$main"
xdotool key --clearmodifiers --delay 100 alt+t r
history=$(timeout 10 xdotool search --sync --onlyvisible --name "実行履歴" | head -n 1)
xdotool windowactivate --sync "$history"
sleep 2
import -frame -window "$history" "$HISTORY_RAW"
xdotool key --clearmodifiers Escape
xdotool windowactivate --sync "$main"
sleep 1
xdotool key --clearmodifiers --delay 100 alt+t i
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name "取り込みの設定$" | head -n 1)
xdotool windowactivate --sync "$dialog"
xdotool key --clearmodifiers --delay 100 alt+c alt+f
sleep 1
import -frame -window "$dialog" "$IMPORT_RAW"
xdotool key --clearmodifiers Escape
kill "$app" "$wm" 2>/dev/null || true
wait 2>/dev/null || true
INNER

export SHOT_RAW="$work/screen.png" HISTORY_RAW="$work/history.png" IMPORT_RAW="$work/import.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh"
# The screen around the main window is plain black.
convert "$SHOT_RAW" -trim +repage docs/screenshot.png
convert "$HISTORY_RAW" +repage docs/history.png
convert "$IMPORT_RAW" +repage docs/import-options.png
echo "docs/screenshot.png docs/history.png docs/import-options.png"
