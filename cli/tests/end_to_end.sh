#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the built m_sifter-cli on real temporary trees, one case per call,
# without a display, with its own state, settings and temporary folders.
#
#   end_to_end.sh M_SIFTER_CLI CASE
set -euo pipefail
# shellcheck source=case_setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/case_setup.sh" "$@"
# Every mount a case made below the work folder goes, innermost first.
trap 'awk -v w="$work" "\$2 ~ \"^\" w { print \$2 }" /proc/mounts | sort -r | xargs -r -n1 umount; rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
cd "$work"

# Every entry under the folders: path and kind, and of each file its size,
# modification time and bytes.
snapshot() {
  local folder
  for folder in "$@"; do
    (cd "$folder" && find . -printf '%P %y\n' && find . -type f -printf '%P %s %T@\n' &&
      find . -type f -print0 | xargs -0 -r sha256sum) | LC_ALL=C sort
  done
}

# A tree of photos and other files: subfolders, a name that is not UTF-8,
# two files with the same bytes.
make_tree() {
  mkdir -p "$1/DCIM/100" "$1/DCIM/101"
  printf 'photo a' >"$1/DCIM/100/a.JPG"
  printf 'photo b' >"$1/DCIM/100/b.jpeg"
  printf 'photo c' >"$1/DCIM/101/c.jpg"
  printf 'same bytes' >"$1/DCIM/101/twin1.png"
  printf 'same bytes' >"$1/DCIM/101/twin2.png"
  printf 'raw name' >"$1/DCIM/101/$(printf 'caf\xe9')".jpg
  printf 'notes' >"$1/notes.txt"
}

last_run() { "$cli" history --json | jq -r '.runs[-1].run'; }

# undone_after_kill SOURCE BEFORE MOVED, after history's look at a run killed
# in the middle (its listing in out): the run is listed as cut short with
# MOVED files moved and none taken back, and undo brings SOURCE back to the
# snapshot BEFORE and empties dst.
undone_after_kill() {
  grep -q "移動  $3  .*  中断  未取り消し" out || fail "history: $(cat out)"
  expect_status 0 "$cli" undo
  [ "$(snapshot "$1")" = "$2" ] || fail "undo did not restore what the run had moved"
  [ -z "$(ls dst)" ] || fail "left in the destination: $(ls dst)"
}

case $case_name in
dry_run)
  make_tree src
  mkdir dst
  printf 'there before' >dst/0000000001_b.jpeg
  before=$(snapshot src dst)
  expect_status 0 "$cli" run src dst --all --subfolders --serial --dry-run
  [ "$(snapshot src dst)" = "$before" ] || fail "the dry run changed the tree"
  [ ! -e "$XDG_STATE_HOME/m_sifter" ] || fail "the dry run wrote a journal"
  grep -q 'b.jpeg  →  0000000002_b.jpeg$' out || fail "a taken name was not passed over: $(cat out)"
  [ "$(grep -c '  →  ' out)" -eq 7 ] || fail "not one line per file: $(cat out)"
  LC_ALL=C sed -n 's/.*  →  //p' out >planned
  expect_status 0 "$cli" run src dst --all --subfolders --serial --dry-run --json
  [ "$(jq '.files | length' out)" -eq 7 ] || fail "the plan is not JSON: $(cat out)"
  grep -q 'caf\\udce9.jpg' out || fail "the raw byte is not written as \\udce9: $(cat out)"
  # The run then gives every file the name the plan showed.
  expect_status 0 "$cli" run src dst --all --subfolders --serial --quiet
  [ ! -s out ] || fail "--quiet printed: $(cat out)"
  diff -u <(LC_ALL=C sort planned) <(ls dst | grep -av '^0000000001_b.jpeg$' | LC_ALL=C sort) ||
    fail "the run named files otherwise than the plan"
  ;;

run_undo)
  for mode in move copy; do
    rm -rf src dst && make_tree src && mkdir dst
    # A name the run wants is taken: the run takes the next number.
    printf 'there before' >dst/0000000000_notes.txt
    before=$(snapshot src dst)
    flag=--move
    [ "$mode" = copy ] && flag=--copy
    expect_status 0 "$cli" run src dst --all --subfolders --serial $flag
    grep -q '^処理結果： 7 ファイル   54 バイト   処理時間 [0-9]* 秒$' out ||
      fail "$mode: the summary line: $(cat out)"
    [ "$(ls dst | wc -l)" -eq 8 ] || fail "$mode: $(ls dst)"
    expect_status 0 "$cli" undo
    [ "$(snapshot src dst)" = "$before" ] || fail "$mode: run and undo did not restore the tree"
    expect_status 0 "$cli" history
    grep -q "$([ $mode = copy ] && echo コピー || echo 移動)  7  54  完了  取り消し済み" out ||
      fail "$mode: history: $(cat out)"
  done

  # After the run one old path is taken and one new file is changed: both
  # are left alone and reported, the rest is undone.
  rm -rf src dst && make_tree src && mkdir dst
  expect_status 0 "$cli" run src dst --all --subfolders --serial
  printf 'a newer a' >src/DCIM/100/a.JPG
  changed=$(ls dst | grep '_c.jpg$')
  printf 'edited' >"dst/$changed"
  expect_status 1 "$cli" undo
  grep -q "a.JPG（元の場所に別のファイルがあります）" err || fail "name taken not reported: $(cat err)"
  grep -q "c.jpg（実行の後で変更されています）" err || fail "change not reported: $(cat err)"
  [ "$(cat src/DCIM/100/a.JPG)" = 'a newer a' ] || fail "the newer file was touched"
  [ "$(cat "dst/$changed")" = edited ] || fail "the changed file was touched"
  [ "$(cat src/DCIM/100/b.jpeg)" = 'photo b' ] || fail "the rest was not undone"
  [ "$(ls dst | wc -l)" -eq 2 ] || fail "left in the destination: $(ls dst)"
  expect_status 0 "$cli" history
  grep -q '一部取り消し済み' out || fail "history: $(cat out)"
  ;;

usage)
  mkdir src dst
  # The window's checks, in its order, with its texts.
  expect_status 2 "$cli" run --all
  grep -qx '移動元のフォルダを選択して下さい。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src --all
  grep -qx '移動先のフォルダを選択して下さい。' err || fail "$(cat err)"
  expect_status 2 "$cli" run missing dst --all
  grep -qx '移動元のフォルダが存在しません。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src missing --all
  grep -qx '移動先のフォルダが存在しません。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst
  grep -qx '検索ファイルを選択して下さい。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --all --min-kb 10 --max-kb 10
  grep -q '^ファイルサイズの指定が正しくありません。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --all --max-kb 0
  grep -q '^ファイルサイズの指定が正しくありません。' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --images=jpg,raw
  grep -q '（raw）' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --all --limit -1
  expect_status 2 "$cli" run src dst --all --serial --stamp=capture
  grep -q '連番（--serial）と一緒には使えません' err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --all --bogus
  grep -q '知らない引数です: --bogus' err || fail "$(cat err)"
  expect_status 2 "$cli"
  expect_status 2 "$cli" undo 20000101-000000
  # Never the window's settings: nothing was saved, nothing logged.
  expect_status 0 "$cli" run src dst --all
  [ ! -e "$XDG_CONFIG_HOME/m_sifter" ] || fail "the window's settings were written"
  [ ! -e "$TMPDIR/m_sifter_ErrLog.txt" ] || fail "an error log: $(cat "$TMPDIR/m_sifter_ErrLog.txt")"
  # No window system library is even loaded.
  if ldd "$cli" | grep -qi -e qt -e libx11 -e wayland; then fail "linked to a window system"; fi
  ;;

run_fails)
  # A destination too small for the third file: the run stops there, says
  # which file and what was done, and the rest stays.
  mkdir -p src mnt
  mount -t tmpfs -o size=64k tmpfs mnt 2>/dev/null || {
    echo "skipped: cannot mount a small file system here"
    exit 0
  }
  head -c 20000 /dev/zero >src/a.jpg
  head -c 20000 /dev/zero | tr '\0' b >src/b.jpg
  head -c 60000 /dev/zero | tr '\0' c >src/c.jpg
  head -c 10 /dev/zero >src/d.jpg
  expect_status 1 "$cli" run src mnt --all --serial --copy
  grep -q "「$work/src/c.jpg」をコピーできませんでした。ディスクの空き容量が不足しています。" err ||
    fail "$(cat err)"
  grep -q 'それまでに 2 ファイルをコピーしました。' err || fail "$(cat err)"
  [ "$(ls mnt)" = "$(printf '0000000000_a.jpg\n0000000001_b.jpg')" ] || fail "$(ls mnt)"
  ;;

killed)
  # A slow run killed in the middle: the journal holds the files done, and
  # undo puts exactly those back.
  mkdir src dst
  for i in $(seq -w 1 20); do printf "file $i" >"src/f$i.jpg"; done
  before=$(snapshot src)
  "$cli" run src dst --all --serial --slow --quiet &
  pid=$!
  for _ in $(seq 100); do
    [ "$(ls dst | wc -l)" -ge 3 ] && break
    sleep 0.1
  done
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
  moved=$(ls dst | wc -l)
  [ "$moved" -ge 3 ] && [ "$moved" -lt 20 ] || fail "$moved files moved before the kill"
  expect_status 0 "$cli" history
  undone_after_kill src "$before" "$moved"
  ;;

capture)
  # Named by when each photo was taken, the counter per stamp across the
  # run; a file without EXIF by its modification time.
  mkdir -p src/A src/B dst
  for photo in A/a B/b B/c; do convert -size 8x8 xc:red "src/$photo.jpg"; done
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05' src/A/a.jpg src/B/c.jpg
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2021:05:06 07:08:09' src/B/b.jpg
  touch -d '2020-03-04 05:06:07' src/B/notes.txt
  # A name the run wants is taken: it takes the next free number.
  printf 'there before' >dst/20220102030405_00000_a.jpg
  expect_status 0 "$cli" run src dst --all --subfolders --stamp=capture --dry-run
  LC_ALL=C sed -n 's/.*  →  //p' out | LC_ALL=C sort >planned
  expect_status 0 "$cli" run src dst --all --subfolders --stamp=capture
  expected='20200304050607_00000_notes.txt
20210506070809_00000_b.jpg
20220102030405_00000_a.jpg
20220102030405_00001_a.jpg
20220102030405_00002_c.jpg'
  [ "$(ls dst | LC_ALL=C sort)" = "$expected" ] || fail "names: $(ls dst)"
  diff -u planned <(ls dst | grep -v '^20220102030405_00000_a.jpg$' | LC_ALL=C sort) ||
    fail "the run named files otherwise than the plan"
  ;;

skip_identical)
  make_tree src
  mkdir dst
  # One of the twins is skipped: the other came in earlier in the run.
  expect_status 0 "$cli" run src dst --all --subfolders --copy --skip-identical
  grep -q '^処理結果： 6 ファイル   44 バイト   処理時間 [0-9]* 秒   スキップ 1 ファイル$' out ||
    fail "first run: $(cat out)"
  # A second run over the same tree finds everything there, under new names.
  before=$(snapshot src dst)
  expect_status 0 "$cli" run src dst --all --subfolders --copy --skip-identical
  grep -q '^処理結果： 0 ファイル   0 バイト   処理時間 [0-9]* 秒   スキップ 7 ファイル$' out ||
    fail "second run: $(cat out)"
  [ "$(snapshot src dst)" = "$before" ] || fail "the second run changed the tree"
  # Moving, a skipped file stays where it is; a new one moves.
  printf 'new photo' >src/DCIM/100/d.jpg
  expect_status 0 "$cli" run src dst --all --subfolders --skip-identical --json
  [ "$(jq -c '[.files, .skipped]' out)" = '[1,7]' ] || fail "move: $(cat out)"
  [ ! -e src/DCIM/100/d.jpg ] && [ -e src/DCIM/100/a.JPG ] && [ -e src/DCIM/101/twin2.png ] ||
    fail "moved: $(find src -type f)"
  # From another file system a file is on its way until its batch is on
  # disk: a twin after it is still skipped, copying or moving.
  mkdir mnt-card
  if mount -t tmpfs tmpfs mnt-card 2>/dev/null; then
    for flag in --copy --move; do
      rm -rf mnt-card/* card-dst && mkdir card-dst
      printf 'twin' >mnt-card/t1.jpg && printf 'twin' >mnt-card/t2.jpg
      expect_status 0 "$cli" run mnt-card card-dst --all --skip-identical $flag
      [ "$(ls card-dst | wc -l)" -eq 1 ] && grep -q 'スキップ 1 ファイル$' out ||
        fail "$flag from another file system: $(ls card-dst) $(cat out)"
    done
  fi
  # A photo filed by hand into a folder by date is in the library; a
  # sidecar is never skipped on its own, even with the bytes of one there.
  mkdir -p lib/2024/05/01 card
  printf 'filed by hand' >lib/2024/05/01/IMG_0001.JPG
  printf 'filed by hand' >card/IMG_0001.JPG
  printf 'sidecar' >lib/2024/05/01/IMG_0001.XMP
  printf 'sidecar' >card/IMG_0001.XMP
  expect_status 0 "$cli" run card lib --all --copy --skip-identical --json
  [ "$(jq -c '[.files, .skipped]' out)" = '[1,1]' ] || fail "library: $(cat out)"
  [ -n "$(find lib -maxdepth 1 -name '*_IMG_0001.XMP')" ] || fail "sidecar: $(find lib)"
  ;;

long_names)
  # A name that would pass 255 bytes with its prefix loses the end of its
  # own part, never half a character, the same in the preview and the run.
  mkdir src dst
  printf 'photo' >"src/a$(printf 'あ%.0s' $(seq 83)).jpg"
  expected="0000000000_a$(printf 'あ%.0s' $(seq 79)).jpg"
  expect_status 0 "$cli" run src dst --all --serial --dry-run
  [ "$(LC_ALL=C sed -n 's/.*  →  //p' out)" = "$expected" ] || fail "planned: $(cat out)"
  expect_status 0 "$cli" run src dst --all --serial
  [ "$(ls dst)" = "$expected" ] || fail "the run named it otherwise: $(ls dst)"
  # An extension that leaves no room stops the preview and the run there.
  printf 'long' >"src/z.$(printf 'e%.0s' $(seq 250))"
  printf 'after' >src/zz.jpg
  expect_status 1 "$cli" run src dst --all --serial --dry-run
  grep -q '  →  （拡張子が長すぎて、新しい名前がファイル名の長さの上限に収まりません）$' out ||
    fail "preview: $(cat out)"
  expect_status 1 "$cli" run src dst --all --serial
  grep -q 'を移動できませんでした。拡張子が長すぎて' err || fail "run: $(cat err)"
  [ "$(ls src | wc -l)" -eq 2 ] && [ "$(ls dst | wc -l)" -eq 1 ] || fail "$(ls src dst)"
  ;;

progress)
  # On a terminal the line moves while files are copied, before any of them
  # is complete: the copy's bytes are counted as they are written. --slow
  # keeps each file's copy done but not yet complete for half a second.
  command -v script >/dev/null || fail "script (bsdutils) is missing"
  mkdir src dst
  for name in a b c; do head -c 8M /dev/zero | tr '\0' 'p' >"src/$name.jpg"; done
  script -q -e -c "'$cli' run src dst --all --copy --slow" "$work/typescript" >/dev/null ||
    fail "the run failed: $(cat "$work/typescript")"
  tr '\r' '\n' <"$work/typescript" | grep -aE '^0/3 ファイル   [1-9][0-9.]* MB / 24.0 MB' >/dev/null ||
    fail "no line showed bytes copied before a file was complete: $(tr '\r' '\n' <"$work/typescript")"
  [ "$(ls dst | wc -l)" -eq 3 ] || fail "$(ls dst)"
  # Without a terminal nothing is drawn.
  expect_status 0 "$cli" run src dst --all --copy
  ! grep -aq 'ファイル   ' err || fail "a progress line without a terminal: $(cat err)"
  ;;

command_input)
  mkdir src dst
  printf 'raw' >src/a.raw
  printf 'jpg' >src/b.jpg
  here=$(pwd -P)
  before=$(snapshot src dst)
  expect_status 2 "$cli" run src dst --other= --dry-run
  expect_status 2 "$cli" run src/a.raw dst --all
  grep -qx "移動元に指定した「$here/src/a.raw」はフォルダではありません。フォルダを指定して下さい。" err ||
    fail "$(cat err)"
  expect_status 2 "$cli" run src src/b.jpg --all
  grep -q '^移動先に指定した' err || fail "$(cat err)"
  [ "$(snapshot src dst)" = "$before" ] || fail "a refused command changed the tree"
  (cd src && expect_status 0 "$cli" run --other=raw,txt -- . ../dst/.)
  [ "$(ls src)" = b.jpg ] && ls dst | grep -q '_a.raw$' || fail "$(ls src dst)"
  ;;

confined)
  # Sorting a folder into its own subfolder: the destination is left out of
  # the search, so a second run renames nothing that is sorted already.
  make_tree src
  mkdir src/sorted
  expect_status 0 "$cli" run src src/sorted --all --subfolders --serial
  grep -q '^処理結果： 7 ファイル' out || fail "first run: $(cat out)"
  sorted=$(ls src/sorted)
  expect_status 0 "$cli" run src src/sorted --all --subfolders --serial
  grep -q '^処理結果： 0 ファイル' out || fail "second run: $(cat out)"
  [ "$(ls src/sorted)" = "$sorted" ] || fail "renamed again: $(ls src/sorted)"
  # One folder given twice, by any name, is a usage error.
  ln -s src src-link
  for destination in src src/ src-link "$work/src"; do
    expect_status 2 "$cli" run src "$destination" --all
    grep -qx '移動元と移動先に同じフォルダは指定できません。' err || fail "$destination: $(cat err)"
  done
  # A folder that the user cannot read is said on standard error, a line
  # in the error log, and the run goes on with the rest.
  rm -rf src && make_tree src && mkdir dst src/locked
  printf 'locked' >src/locked/in.jpg
  chmod 755 "$work" && chown -R nobody:nogroup "$work" && chown root:root src/locked && chmod 700 src/locked
  expect_status 0 setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$cli" run src dst --all --subfolders --serial
  grep -qx "「$work/src/locked/」を検索できませんでした。アクセスが拒否されました。" err ||
    fail "not said: $(cat err)"
  grep -q '^処理結果： 7 ファイル' out || fail "the run did not go on: $(cat out)"
  grep -q "gFindFile: $work/src/locked/ (Permission denied)" "$TMPDIR/m_sifter_ErrLog.txt" ||
    fail "not logged"
  [ -e src/locked/in.jpg ] || fail "the locked file moved"
  ;;

killed_across)
  # A move from a card killed in the middle: the next look at the journal
  # finds every photo in one place, history counts the ones moved, and undo
  # brings exactly those back.
  mkdir mnt-card dst
  mount -t tmpfs tmpfs mnt-card 2>/dev/null || {
    echo "skipped: cannot mount a memory file system here"
    exit 0
  }
  for i in $(seq -w 1 40); do head -c 40000 /dev/urandom >"mnt-card/p$i.jpg"; done
  before=$(snapshot mnt-card)
  "$cli" run mnt-card dst --all --serial --slow --quiet &
  pid=$!
  # Killed once sources began to go (a slow run settles its batch after
  # five seconds: copies named, then sources removed).
  for _ in $(seq 300); do
    [ "$(ls mnt-card | wc -l)" -lt 40 ] && break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || fail "the run ended before it was killed"
  wait "$pid" 2>/dev/null || true
  expect_status 0 "$cli" history
  moved=$(ls dst | wc -l)
  [ "$moved" -ge 1 ] && [ "$moved" -lt 40 ] || fail "$moved files moved before the kill"
  [ $((moved + $(ls mnt-card | wc -l))) -eq 40 ] || fail "a photo in two places or none: $(ls dst) / $(ls mnt-card)"
  undone_after_kill mnt-card "$before" "$moved"
  ;;

stop_means_stop)
  # A locked folder in the middle of the tree: the run ends at its first
  # file, and every file after it stays where it was, as the message says.
  mkdir -p src/locked src/z_last dst
  printf a >src/a.jpg && printf b >src/b.jpg && printf e >src/z_last/e.jpg
  mount -t tmpfs tmpfs src/locked 2>/dev/null || {
    echo "skipped: cannot mount a memory file system here"
    exit 0
  }
  printf c >src/locked/c.jpg && printf d >src/locked/d.jpg
  mount -o remount,ro src/locked
  expect_status 1 "$cli" run src dst --all --subfolders --serial
  grep -q "「$work/src/locked/c.jpg」を移動できませんでした。読み取り専用のファイルシステムです。" err ||
    fail "$(cat err)"
  grep -q 'それまでに 2 ファイルを移動しました。残りのファイルは移動元にそのまま残っています。' err ||
    fail "$(cat err)"
  [ "$(ls dst | LC_ALL=C sort)" = "$(printf '0000000000_a.jpg\n0000000001_b.jpg')" ] || fail "$(ls dst)"
  [ -e src/locked/c.jpg ] && [ -e src/locked/d.jpg ] && [ -e src/z_last/e.jpg ] ||
    fail "a later file moved: $(find src -type f)"
  ;;

backup)
  # Copy and move with a backup: both folders hold every file, byte for
  # byte, under the same names; undo takes back both.
  make_tree src
  mkdir -p dst bak
  before=$(snapshot src)
  for how in --copy --move; do
    expect_status 0 "$cli" run src dst --all --subfolders --serial $how --backup=bak
    [ "$(ls dst | wc -l)" -eq 7 ] || fail "$how: $(ls dst)"
    [ "$(snapshot dst)" = "$(snapshot bak)" ] || fail "$how: the backup differs from the destination"
    expect_status 0 "$cli" history "$(last_run)"
    grep -q "notes.txt  バックアップ $work/bak/0000000000_notes.txt" out || fail "$how: history: $(cat out)"
    expect_status 0 "$cli" undo
    grep -q "バックアップから削除した 7 ファイル" out || fail "$how: $(cat out)"
    [ -z "$(find dst bak -mindepth 1)" ] || fail "$how: left behind: $(ls dst bak)"
    [ "$(snapshot src)" = "$before" ] || fail "$how: the sources are not as they were"
  done
  # Folders by date are made in the backup folder as in the destination and
  # go with undo once empty; a folder the backup held before stays.
  mkdir -p bak/kept
  expect_status 0 "$cli" run src dst --all --subfolders --serial --copy --folders=made/%Y \
    --backup=bak
  [ "$(find bak/made -type f | wc -l)" -eq 7 ] || fail "folders: $(find bak)"
  expect_status 0 "$cli" undo
  [ -z "$(find dst -mindepth 1)" ] || fail "folders: left in the destination: $(find dst)"
  [ "$(find bak -mindepth 1)" = bak/kept ] || fail "folders: left in the backup: $(find bak)"
  rmdir bak/kept
  # Backups a run did not get to make (its journal says its files arrived,
  # nothing more): the look that settles the run makes them, or says beside
  # each file why it cannot.
  forget_backups() {
    run=$(last_run)
    sed -i -e '/^backed-up\t/d' -e '/^closed$/d' "$XDG_STATE_HOME/m_sifter/journal/$run.journal"
  }
  expect_status 0 "$cli" run src dst --all --subfolders --serial --copy --backup=bak
  forget_backups
  rm bak/*
  expect_status 0 "$cli" history "$run"
  grep -q "notes.txt  バックアップ $work/bak/0000000000_notes.txt" out || fail "made: $(cat out)"
  [ "$(snapshot dst)" = "$(snapshot bak)" ] || fail "the backups made differ from the destination"
  expect_status 0 "$cli" undo
  [ -z "$(find dst bak -mindepth 1)" ] || fail "undo left: $(ls dst bak)"
  expect_status 0 "$cli" run src dst --all --subfolders --serial --copy --backup=bak
  forget_backups
  rm -r bak
  expect_status 0 "$cli" history "$run"
  grep -q "notes.txt  バックアップなし（バックアップ先のフォルダが見つかりません）$" out ||
    fail "not said: $(cat out)"
  grep -q "（7 ファイルはバックアップがありません）" <("$cli" history) || fail "$("$cli" history)"
  expect_status 0 "$cli" history "$run" --json
  jq -e '.unbacked_files == 7 and ([.items[] | select(.backup == null
    and .backup_error.code == "backup-folder-missing")] | length) == 7' out >/dev/null ||
    fail "json: $(cat out)"
  mkdir bak
  expect_status 0 "$cli" undo
  [ -z "$(find dst bak -mindepth 1)" ] && [ "$(snapshot src)" = "$before" ] || fail "undo: $(ls dst bak)"
  # The plan names the backup folder.
  expect_status 0 "$cli" run src dst --all --subfolders --serial --backup=bak --dry-run
  grep -q "バックアップ先 $work/bak" out || fail "$(cat out)"
  # Refused before anything moves: a backup inside the destination, one missing.
  mkdir -p dst/inner
  expect_status 2 "$cli" run src dst --all --backup=dst/inner
  grep -q "移動元や移動先と同じフォルダ" err || fail "$(cat err)"
  expect_status 2 "$cli" run src dst --all --backup=gone
  grep -q "バックアップ先のフォルダが存在しません。" err || fail "$(cat err)"
  rmdir dst/inner
  # A name taken in the backup folder ends the run at that file: it and
  # every later file stay at their sources, the user's file is untouched.
  printf 'mine' >bak/0000000002_b.jpeg
  expect_status 1 "$cli" run src dst --all --subfolders --serial --backup=bak
  grep -q "「$work/src/DCIM/100/b.jpeg」をバックアップ先のフォルダ「$work/bak」にコピーできませんでした。" err ||
    fail "$(cat err)"
  [ "$(cat bak/0000000002_b.jpeg)" = mine ] || fail "the user's file was replaced"
  [ "$(ls dst | LC_ALL=C sort)" = "$(printf '0000000000_notes.txt\n0000000001_a.JPG')" ] ||
    fail "$(ls dst)"
  [ "$(ls bak | LC_ALL=C sort)" = "$(printf '0000000000_notes.txt\n0000000001_a.JPG\n0000000002_b.jpeg')" ] ||
    fail "$(ls bak)"
  [ -e src/DCIM/100/b.jpeg ] && [ "$(find src -type f | wc -l)" -eq 5 ] ||
    fail "a source whose backup is not on disk went: $(find src -type f)"
  expect_status 0 "$cli" undo
  rm bak/0000000002_b.jpeg
  [ "$(snapshot src)" = "$before" ] && [ -z "$(find dst bak -mindepth 1)" ] || fail "undo left: $(ls dst bak)"
  # A read-only backup folder: the run ends at the first file, nothing moved.
  mount -t tmpfs tmpfs bak 2>/dev/null || {
    echo "skipped: cannot mount a memory file system here"
    exit 0
  }
  mount -o remount,ro bak
  expect_status 1 "$cli" run src dst --all --subfolders --serial --backup=bak
  grep -q "バックアップ先" err && grep -q "読み取り専用のファイルシステムです。" err || fail "$(cat err)"
  grep -q 'それまでに 0 ファイルを移動しました。' err || fail "$(cat err)"
  [ -z "$(ls dst)" ] && [ "$(snapshot src)" = "$before" ] || fail "moved without a backup: $(ls dst)"
  ;;

concurrent)
  # A second run over a source that a run is working on does not start; the
  # first one then finishes alone, each photo moved once.
  mkdir -p src/DCIM dst dst2
  for i in $(seq -w 1 12); do printf "photo $i" >"src/DCIM/p$i.jpg"; done
  "$cli" run src dst --all --subfolders --serial --slow --quiet &
  pid=$!
  for _ in $(seq 100); do
    [ "$(ls dst | wc -l)" -ge 1 ] && break
    sleep 0.1
  done
  expect_status 1 "$cli" run src/DCIM dst2 --all --serial
  grep -q "移動元のフォルダ「$work/src/DCIM」は、別の実行（.*）が処理しています。" err ||
    fail "the second run: $(cat err)"
  [ -z "$(ls dst2)" ] || fail "the second run moved: $(ls dst2)"
  wait "$pid" || fail "the first run failed"
  [ "$(ls dst | wc -l)" -eq 12 ] && [ -z "$(find src -type f)" ] || fail "$(ls dst) / $(find src -type f)"
  ;;

no_journal)
  # No journal, no run: a journal folder that is read-only stops the run
  # before it starts; one that fills stops it there.
  mkdir -p src dst mnt-state
  for i in $(seq -w 1 30); do printf "photo $i" >"src/p$i.jpg"; done
  mount -t tmpfs -o size=4k tmpfs mnt-state 2>/dev/null || {
    echo "skipped: cannot mount a memory file system here"
    exit 0
  }
  mkdir -p mnt-state/m_sifter/journal
  mount -o remount,ro mnt-state
  XDG_STATE_HOME=$work/mnt-state expect_status 1 "$cli" run src dst --all --serial
  grep -q "実行の記録（$work/mnt-state/m_sifter/journal）を作成できないため、何も移動しませんでした。" err ||
    fail "read-only: $(cat err)"
  [ -z "$(ls dst)" ] || fail "moved without a journal: $(ls dst)"
  # A page: room for the header and the first group's lines (a group of
  # copies ends at 32 MB: 19 of these files), not for the next group's.
  mount -o remount,rw mnt-state
  mkdir big
  for i in $(seq -w 1 60); do head -c 1700000 /dev/zero >"big/f$i.jpg"; done
  XDG_STATE_HOME=$work/mnt-state expect_status 1 "$cli" run big dst --all --serial --copy
  grep -q "に書き込めないため、ここで止めました。ディスクの空き容量が不足しています。" err ||
    fail "full: $(cat err)"
  copied=$(ls dst | wc -l)
  [ "$copied" -ge 1 ] && [ "$copied" -lt 60 ] && [ "$(ls big | wc -l)" -eq 60 ] ||
    fail "$copied copied"
  grep -q "それまでに $copied ファイルをコピーしました。残りのファイルはコピーしていません。" err ||
    fail "the count: $(cat err)"
  ;;

folders)
  # Folders by date: by the capture time, and by the moment of the transfer.
  mkdir -p src dst
  for photo in a b c; do convert -size 8x8 xc:red "src/$photo.jpg"; done
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2024:05:01 09:06:37' src/a.jpg src/c.jpg
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2023:12:31 23:59:59' src/b.jpg
  # A folder that was there before, with a file of the user's in it.
  mkdir -p dst/2024 && printf 'mine' >dst/2024/mine.txt
  before=$(snapshot src dst)
  expect_status 0 "$cli" run src dst --all --stamp=capture --folders=%Y/%m/%d --dry-run
  grep -q 'a.jpg  →  2024/05/01/20240501090637_00000_a.jpg$' out || fail "preview: $(cat out)"
  expect_status 0 "$cli" run src dst --all --stamp=capture --folders=%Y/%m/%d --dry-run --json
  [ "$(jq -r '.files[1].destination' out)" = "$work/dst/2023/12/31/20231231235959_00000_b.jpg" ] ||
    fail "preview JSON: $(cat out)"
  [ "$(snapshot src dst)" = "$before" ] || fail "the preview changed the tree"
  expect_status 0 "$cli" run src dst --all --stamp=capture --folders=%Y/%m/%d --copy
  expected='2023/12/31/20231231235959_00000_b.jpg
2024/05/01/20240501090637_00000_a.jpg
2024/05/01/20240501090637_00001_c.jpg
2024/mine.txt'
  [ "$(cd dst && find . -type f -printf '%P\n' | LC_ALL=C sort)" = "$expected" ] ||
    fail "filed: $(find dst)"
  # Undo removes the folders the run made once empty, never one that was there.
  expect_status 0 "$cli" undo
  grep -q '作ったフォルダを削除 5$' out || fail "undo: $(cat out)"
  [ "$(snapshot src dst)" = "$before" ] || fail "undo left: $(find dst)"
  # By the moment of the transfer, serial names too: today's folder.
  today=$(date +%Y-%m)
  expect_status 0 "$cli" run src dst --all --serial --folders=%Y-%m --copy
  [ "$(ls "dst/$today")" = "$(printf '0000000000_a.jpg\n0000000001_b.jpg\n0000000002_c.jpg')" ] ||
    fail "by the transfer: $(find dst)"
  # A template that climbs out, or has a field of no date, is a usage error.
  for template in ../x /abs %Y//%m %Y/%q %Y/; do
    expect_status 2 "$cli" run src dst --all --folders="$template"
    grep -q "^フォルダの指定「$template」（.*）は使えません。" err || fail "$template: $(cat err)"
  done
  # A level that is a link is never entered: the run stops, nothing outside is touched.
  rm -rf dst && mkdir dst outside && ln -s ../outside dst/2024
  expect_status 1 "$cli" run src dst --all --stamp=capture --folders=%Y/%m --dry-run
  grep -q 'はリンクかフォルダ以外のものなので、その中には入れません' out || fail "preview: $(cat out)"
  expect_status 1 "$cli" run src dst --all --stamp=capture --folders=%Y/%m
  grep -q "移動先の中のフォルダ「$work/dst/2024」はリンクかフォルダ以外のものなので" err ||
    fail "link: $(cat err)"
  [ -z "$(ls outside)" ] || fail "written outside: $(find outside)"
  [ -e src/a.jpg ] && [ -e src/c.jpg ] || fail "moved: $(find src dst)"
  ;;

groups)
  # A RAW, its JPEG and their sidecars: one capture time (the JPEG's: this
  # CR2 has none), one prefix, one folder.
  mkdir -p src dst lib/old
  convert -size 8x8 xc:red src/IMG_0001.JPG
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2024:05:01 09:06:37' src/IMG_0001.JPG
  printf 'raw' >src/IMG_0001.CR2
  printf 'xmp' >src/IMG_0001.XMP
  printf 'raw xmp' >src/IMG_0001.CR2.xmp
  touch -d '2020-01-01 00:00:00' src/IMG_0001.CR2 src/IMG_0001.XMP src/IMG_0001.CR2.xmp
  expect_status 0 "$cli" run src dst --all --stamp=capture --folders=%Y/%m/%d --copy
  expected='2024/05/01/20240501090637_00000_IMG_0001.CR2
2024/05/01/20240501090637_00000_IMG_0001.CR2.xmp
2024/05/01/20240501090637_00000_IMG_0001.JPG
2024/05/01/20240501090637_00000_IMG_0001.XMP'
  [ "$(cd dst && find . -type f -printf '%P\n' | LC_ALL=C sort)" = "$expected" ] ||
    fail "group: $(find dst)"
  # The count limit counts files: it cuts a group. The members it lists
  # share a prefix (here the RAW's own time: the JPEG is not among them);
  # those left behind come with a later run as a group of their own.
  rm -rf dst && mkdir dst && cp -a src src2
  expect_status 0 "$cli" run src2 dst --all --stamp=capture --folders=%Y/%m/%d --limit=2
  [ "$(ls src2)" = "$(printf 'IMG_0001.JPG\nIMG_0001.XMP')" ] || fail "limit: $(ls src2)"
  [ "$(cd dst && find . -type f -printf '%P\n' | LC_ALL=C sort)" = "2020/01/01/20200101000000_00000_IMG_0001.CR2
2020/01/01/20200101000000_00000_IMG_0001.CR2.xmp" ] || fail "cut: $(find dst)"
  expect_status 0 "$cli" run src2 dst --all --stamp=capture --folders=%Y/%m/%d
  [ "$(ls dst/2024/05/01)" = "$(printf '20240501090637_00000_IMG_0001.JPG\n20240501090637_00000_IMG_0001.XMP')" ] ||
    fail "after the limit: $(find dst)"
  # --no-groups: each file its own time and counter.
  rm -rf dst && mkdir dst
  expect_status 0 "$cli" run src dst --all --stamp=capture --no-groups --copy
  expected='20200101000000_00000_IMG_0001.CR2
20200101000000_00001_IMG_0001.CR2.xmp
20200101000000_00002_IMG_0001.XMP
20240501090637_00000_IMG_0001.JPG'
  [ "$(ls dst | LC_ALL=C sort)" = "$expected" ] || fail "no groups: $(ls dst)"
  # The photos already in the library: their sidecars stay with them.
  cp src/IMG_0001.JPG lib/old/kept.jpg && cp src/IMG_0001.CR2 lib/old/kept.cr2
  expect_status 0 "$cli" run src lib --all --stamp=capture --skip-identical --json
  [ "$(jq -c '[.files, .skipped]' out)" = '[0,4]' ] || fail "skipped: $(cat out)"
  [ "$(ls src | wc -l)" -eq 4 ] || fail "moved: $(ls src)"
  # Only the JPEG there: the RAW goes, and its sidecars with it.
  rm lib/old/kept.cr2
  expect_status 0 "$cli" run src lib --all --stamp=capture --skip-identical --json
  [ "$(jq -c '[.files, .skipped]' out)" = '[3,1]' ] || fail "raw: $(cat out)"
  [ "$(ls src)" = "IMG_0001.JPG" ] || fail "left: $(ls src)"
  [ "$(ls lib | grep -c '^20240501090637_00000_IMG_0001')" -eq 3 ] || fail "names: $(ls lib)"
  ;;

clocks)
  # A camera an hour and a half behind, a second one ahead across midnight,
  # and a film whose header holds the camera's own clock.
  export TZ=JST-9
  mkdir -p src dst
  convert -size 8x8 xc:red src/a.jpg
  exiv2 -M'set Exif.Photo.DateTimeOriginal 2022:01:02 03:04:05' src/a.jpg
  # ftyp, then moov with a movie header created 2022-01-02 03:04:05 UTC.
  film() {
    printf '\x00\x00\x00\x18ftypisom\x00\x00\x02\x00isommp41'
    printf '\x00\x00\x00\x18moov\x00\x00\x00\x10mvhd\x00\x00\x00\x00'
    printf "$(printf '%08x' $((1641092645 + 2082844800)) | sed 's/../\\x&/g')"
  }
  film >src/b.mp4
  expect_status 0 "$cli" run src dst --all --stamp=capture --time-shift=+1:30 --dry-run
  grep -q '^［EXIF］  .*/src/a.jpg  →  20220102043405_00000_a.jpg$' out || fail "shifted: $(cat out)"
  grep -q '^［動画のヘッダ］  .*/src/b.mp4  →  20220102133405_00000_b.mp4$' out ||
    fail "film, UTC: $(cat out)"
  expect_status 0 "$cli" run src dst --all --stamp=capture --time-shift=-3:04:06 \
    --video-time=local --copy
  # One second for both: the counter counts on across the run.
  [ "$(ls dst | LC_ALL=C sort)" = "$(printf '20220101235959_00000_a.jpg\n20220101235959_00001_b.mp4')" ] ||
    fail "names: $(ls dst)"
  expect_status 0 "$cli" history "$(last_run)" --json
  [ "$(jq -c '[.items[].date_source]' out)" = '["exif","film-header"]' ] || fail "$(cat out)"
  [ "$(jq -c '[.options.time_shift, .options.video_time]' out)" = '[-11046,"local"]' ] ||
    fail "options: $(cat out)"
  expect_status 0 "$cli" history
  grep -q '条件: 対象 \* .*撮影日時 -3:04:06、動画はカメラの時計' out || fail "history: $(cat out)"
  # Either means nothing without names by capture time: said, nothing run.
  for given in --time-shift=1:00 --video-time=local; do
    expect_status 2 "$cli" run src dst --all "$given"
    grep -q "^${given%%=*}.* は、撮影日時で名前を付ける時だけ指定できます。$" err || fail "$(cat err)"
    grep -qx -- '--stamp=capture と一緒に指定して下さい。' err || fail "$(cat err)"
  done
  expect_status 2 "$cli" run src dst --all --stamp=capture --time-shift=1:60
  [ "$(ls src | wc -l)" -eq 2 ] || fail "a refused run moved: $(ls src)"
  ;;

extensions)
  mkdir -p src dst
  for name in a.cr2 A2.CR2 a.cr2.bak a.xcr2 b.jpg notes; do printf "$name" >"src/$name"; done
  expect_status 0 "$cli" run src dst --ext=cr2 --serial --dry-run --json
  [ "$(jq -c '[.files[].source | sub(".*/"; "")]' out)" = '["a.cr2","A2.CR2"]' ] ||
    fail "--ext: $(cat out)"
  # --other keeps the window's meaning: anywhere in the name.
  expect_status 0 "$cli" run src dst --other=cr2 --serial --dry-run --json
  [ "$(jq -c '[.files[].source | sub(".*/"; "")]' out)" = '["a.cr2","a.cr2.bak","a.xcr2","A2.CR2"]' ] ||
    fail "--other: $(cat out)"
  expect_status 0 "$cli" run src dst --ext=.CR2,jpg --copy --serial
  [ "$(ls dst | LC_ALL=C sort)" = "$(printf '0000000000_a.cr2\n0000000001_A2.CR2\n0000000002_b.jpg')" ] ||
    fail "copied: $(ls dst)"
  expect_status 0 "$cli" history
  grep -q '対象 拡張子 CR2,JPG' out || fail "history: $(cat out)"
  expect_status 2 "$cli" run src dst --ext=tar.gz
  grep -q 'は含められません（tar.gz）' err || fail "$(cat err)"
  # Without a file type the message names every way to give one.
  expect_status 2 "$cli" run src dst --serial
  grep -qx '検索ファイルを選択して下さい。' err || fail "$(cat err)"
  for flag in --all --images --ext --other; do
    grep -q -- "$flag[、 ]" err || fail "$flag not named: $(cat err)"
  done
  expect_status 0 "$cli" run --help
  grep -q -- '--other.*名前のどこかに' out || fail "help: $(cat out)"
  grep -q -- '--ext.*最後の \.' out || fail "help: $(cat out)"
  ;;

history_json)
  # The same keys in a plan, a result and the history, times with their
  # offset, skipped files listed, refusals as a code and a text.
  export TZ=JST-9
  make_tree src
  mkdir dst
  common='.operation == "copy" and (.source | endswith("/src")) and (.destination | endswith("/dst"))
    and (.options | type == "object") and (.skipped | type == "number")
    and (.started | test("^[0-9-]{10}T[0-9:]{8}\\+09:00$"))'
  expect_status 0 "$cli" run src dst --all --subfolders --copy --skip-identical --dry-run --json
  jq -e "$common"' and .status == "planned" and .run == null and .skipped == 1 and .planned == 6
    and .items == .files and ([.files[] | select(.status == "skipped")] | length) == 1
    and (.files[0] | has("source") and has("destination") and .operation == "copy")' out >/dev/null ||
    fail "plan: $(cat out)"
  expect_status 0 "$cli" run src dst --all --subfolders --copy --skip-identical --json
  jq -e "$common"' and .status == "done" and .files == 6 and .skipped == 1 and (.bytes | type == "number")
    and (.finished | test("\\+09:00$")) and .transferred[0].status == "done"
    and .skipped_files[0].status == "skipped"' out >/dev/null || fail "result: $(cat out)"
  run=$(jq -r .run out)
  expect_status 0 "$cli" history --json
  jq -e '.runs[-1] | '"$common"' and .status == "done" and .files == 6 and .skipped == 1
    and .end == "completed" and .options.skip_identical' out >/dev/null || fail "history: $(cat out)"
  expect_status 0 "$cli" history "$run" --json
  jq -e "$common"' and .command == "history" and .run == "'"$run"'" and (.items | length) == 7
    and ([.items[] | select(.status == "skipped")] | length) == 1
    and ([.items[] | select(.status == "done")] | length) == 6' out >/dev/null ||
    fail "history RUN: $(cat out)"
  expect_status 0 "$cli" history "$run"
  grep -q '^  .*/src/DCIM/101/twin2.png  スキップ（同じ内容の .*twin1.png があります）$' out ||
    fail "skipped not listed: $(cat out)"
  grep -q '  6  44  完了  未取り消し  1  ' <("$cli" history) || fail "skipped count: $("$cli" history)"
  # Undone files say so; an undo refused is a code and the text.
  expect_status 0 "$cli" undo "$run"
  expect_status 0 "$cli" history "$run" --json
  [ "$(jq '[.items[] | select(.status == "undone")] | length' out)" -eq 6 ] || fail "$(cat out)"
  expect_status 2 "$cli" undo 20000101-000000 --json
  jq -e '.status == "no-such-run" and .error.code == "no-such-run"
    and (.error.message | contains("20000101-000000"))' out >/dev/null || fail "refusal: $(cat out)"
  expect_status 2 "$cli" history 20000101-000000
  grep -q '実行「20000101-000000」の記録はありません' err || fail "$(cat err)"
  # The import options: one object under the same keys in the plan, the
  # result, the list of runs and one run's history; and on the options line.
  make_tree card
  mkdir lib bak
  import=(run card lib --all --subfolders --copy --stamp=capture --time-shift=-1:00 --folders=%Y/%m
    --backup=bak --skip-identical --json)
  expect_status 0 "$cli" "${import[@]}" --dry-run
  jq -c .options out >plan_options
  expect_status 0 "$cli" "${import[@]}"
  jq -c .options out >result_options
  run=$(jq -r .run out)
  jq -e '.folders == "%Y/%m" and .groups == true and .time_shift == -3600 and .video_time == "utc"
    and .backup == "'"$work/bak"'" and .skip_identical and .stamp == "capture"' result_options \
    >/dev/null || fail "import options: $(cat result_options)"
  expect_status 0 "$cli" history "$run" --json
  jq -c .options out >run_options
  expect_status 0 "$cli" history --json
  jq -c '.runs[-1].options' out >list_options
  for options in plan_options run_options list_options; do
    cmp -s result_options $options || fail "$options: $(cat $options), not $(cat result_options)"
  done
  expect_status 0 "$cli" history "$run"
  grep -q "条件: .*撮影日時 -1:00:00）  写真と関連ファイルをまとめる  日付のフォルダ %Y/%m  同じ内容はスキップ  バックアップ先 $work/bak$" out ||
    fail "options line: $(cat out)"
  ;;

manual)
  # The manual as it reads before installing: by its path and by MANPATH.
  [ -n "${MSIFTER_MAN_FOLDER:-}" ] || fail "MSIFTER_MAN_FOLDER is not set"
  export MANWIDTH=200
  man -l "$MSIFTER_MAN_FOLDER/m_sifter-cli.1" >page 2>"$work/err" || fail "man -l: $(cat "$work/err")"
  for text in '--time-shift=[+-]H:MM[:SS]' '--video-time=utc' '--ext=LIST' 'history RUN' \
    'film header' '2024-05-01T09:06:37+09:00' '処理結果：'; do
    grep -qF -- "$text" page || fail "not in the page: $text"
  done
  MANPATH="$MSIFTER_MAN_FOLDER:" man m_sifter-cli >page2 2>"$work/err" || fail "MANPATH: $(cat "$work/err")"
  cmp -s page page2 || fail "MANPATH found another page"
  ;;

*) fail "no such case" ;;
esac
echo "ok: $case_name"
