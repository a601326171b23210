#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the built m_sifter-cli onto and from file systems that keep less than
# a local disk: an exFAT card through FUSE, and a NAS through sshfs (an sshd
# on the loopback address, its keys made here). Exit 77 (skipped) where the
# machine cannot mount them.
#
#   file_systems.sh M_SIFTER_CLI CASE     CASE: card | nas
set -euo pipefail
# shellcheck source=case_setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/case_setup.sh" "$@"
skip() {
  echo "skipped: $*"
  exit 77
}

sshd_pid=
card_loop=
other_reader=
cleanup() {
  for m in "$work"/card "$work"/nas; do mountpoint -q "$m" 2>/dev/null && umount "$m"; done
  if [ -n "$other_reader" ]; then losetup -d "$other_reader" || true; fi
  if [ -n "$sshd_pid" ]; then
    kill "$sshd_pid" 2>/dev/null || true
    wait "$sshd_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# Names and bytes of the files under a folder (times are the file system's).
contents() { (cd "$1" && find . -type f -print0 | xargs -0 -r sha256sum | LC_ALL=C sort); }

make_photos() {
  mkdir -p "$1/DCIM"
  for n in 1 2 3; do head -c $((n * 70000)) /dev/urandom >"$1/DCIM/p$n.jpg"; done
  touch -d '2002-10-15 09:30:01.523456789' "$1/DCIM/p1.jpg"
}

# mount_card: the exFAT image on a loop device, through exfat-fuse, as a
# desktop mounts a card. The loop device goes when the driver lets go of it.
mount_card() {
  local loop
  loop=$(losetup -f --show card.img) || return 1
  mount.exfat-fuse "$loop" card >/dev/null 2>&1 || { losetup -d "$loop"; return 1; }
  losetup -d "$loop"
  card_loop=$loop
}

# move_card: the card, unmounted, put into another reader: the loop device it
# was on is held by a blank image (once the driver has let go of it), so it
# mounts again through another, whose device number its files then carry.
move_card() {
  local was=$card_loop
  truncate -s 1M reader.img
  for _ in $(seq 50); do
    other_reader=$(losetup --show "$was" reader.img 2>/dev/null) && break
    sleep 0.1
  done
  mount_card && [ "$card_loop" != "$was" ]
}

# mount_nas: the folder nas-disk, served by the sshd, through sshfs.
mount_nas() {
  sshfs -p "$(cat port)" -F /dev/null -o IdentityFile="$work/user_key" \
    -o StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes \
    "root@127.0.0.1:$work/nas-disk" nas
}

start_sshd() {
  ssh-keygen -q -t ed25519 -N '' -f host_key && ssh-keygen -q -t ed25519 -N '' -f user_key &&
    cp user_key.pub authorized_keys || return 1
  # sshd wants its privilege separation folder, as its service makes it.
  mkdir -p /run/sshd
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' >port
  /usr/sbin/sshd -D -e -f /dev/null -p "$(cat port)" -o ListenAddress=127.0.0.1 \
    -o HostKey="$work/host_key" -o AuthorizedKeysFile="$work/authorized_keys" \
    -o StrictModes=no -o PidFile=none -o "Subsystem=sftp internal-sftp" 2>sshd.log &
  sshd_pid=$!
  for _ in $(seq 50); do
    grep -q 'Server listening' sshd.log && return 0
    sleep 0.1
  done
  return 1
}

case $case_name in
card)
  command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null ||
    skip "exfatprogs and exfat-fuse are missing"
  mkdir card src local
  truncate -s 64M card.img && mkfs.exfat card.img >/dev/null || skip "cannot make an exFAT image"
  mount_card || skip "cannot mount an exFAT card through FUSE here"
  make_photos src
  before=$(contents src)

  # Copied onto the card, and taken back.
  expect_status 0 "$cli" run src card --all --subfolders --serial --copy
  grep -q '^処理結果： 3 ファイル' out || fail "copy: $(cat out)"
  [ "$(contents card | sed 's/0000000..._//')" = "$(contents src | sed 's|DCIM/||')" ] ||
    fail "copy: the card holds $(ls -la card)"
  [ "$(stat -c %Y card/0000000000_p1.jpg)" = "$(date -d '2002-10-15 09:30:01' +%s)" ] ||
    fail "copy: the time was not kept"
  expect_status 0 "$cli" undo
  [ -z "$(ls card)" ] || fail "undo of the copy left $(ls card)"

  # Moved onto the card; the card is pulled and put into another reader (its
  # FUSE driver numbers the files anew, and the reader is another device)
  # before the move is taken back.
  expect_status 0 "$cli" run src card --all --subfolders --serial
  [ -z "$(find src -type f)" ] || fail "move: sources left"
  umount card && move_card || fail "cannot mount the card in another reader"
  expect_status 0 "$cli" undo
  [ "$(contents src)" = "$before" ] || fail "undo of the move onto the card"
  [ -z "$(ls card)" ] || fail "undo of the move left $(ls card)"

  # Moved from the card to the local disk, and back.
  mv src/DCIM card/
  expect_status 0 "$cli" run card local --all --subfolders --serial
  [ "$(find card -type f | wc -l)" -eq 0 ] && [ "$(ls local | wc -l)" -eq 3 ] ||
    fail "move from the card: $(ls -R card local)"
  expect_status 0 "$cli" undo
  [ "$(contents card)" = "$before" ] || fail "undo of the move from the card"
  ;;

nas)
  command -v sshfs >/dev/null && [ -x /usr/sbin/sshd ] || skip "sshfs and openssh-server are missing"
  [ -c /dev/fuse ] || skip "no FUSE here"
  mkdir nas nas-disk src
  start_sshd || skip "cannot start an sshd on the loopback address: $(cat sshd.log)"
  mount_nas || skip "cannot mount sshfs here"
  make_photos src
  before=$(contents src)

  # A library on the NAS: moved there, the NAS mounted again (sshfs numbers
  # the files anew and keeps whole seconds), and taken back.
  expect_status 0 "$cli" run src nas --all --subfolders --serial
  [ "$(ls nas | wc -l)" -eq 3 ] || fail "move: $(ls nas)"
  umount nas && mount_nas || fail "cannot mount the NAS again"
  expect_status 0 "$cli" undo
  [ "$(contents src)" = "$before" ] || fail "undo of the move onto the NAS"
  [ -z "$(ls nas)" ] || fail "undo left $(ls nas)"

  # A file edited on the NAS after the run is refused; the rest goes back.
  expect_status 0 "$cli" run src nas --all --subfolders --serial
  printf 'edited on the NAS' >nas/0000000001_p2.jpg
  expect_status 1 "$cli" undo
  grep -q 'p2.jpg（実行の後で変更されています）' err || fail "the change was not reported: $(cat err)"
  [ "$(cat nas/0000000001_p2.jpg)" = 'edited on the NAS' ] || fail "the edited file was touched"
  [ "$(ls nas)" = 0000000001_p2.jpg ] || fail "not undone: $(ls nas)"
  [ -f src/DCIM/p1.jpg ] && [ -f src/DCIM/p3.jpg ] || fail "the rest was not undone"

  # Copies onto the NAS are taken back too.
  rm nas/0000000001_p2.jpg
  expect_status 0 "$cli" run src nas --all --subfolders --serial --copy
  expect_status 0 "$cli" undo
  [ -z "$(ls nas)" ] || fail "undo of the copy left $(ls nas)"
  ;;

*) fail "no such case" ;;
esac
