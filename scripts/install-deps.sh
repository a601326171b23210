#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, testing and running m_sifter need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev
  libsqlcipher-dev sqlcipher libicu-dev libssl-dev libexiv2-dev exiv2
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick fonts-ipafont-gothic openbox qt6-translations-l10n xdg-utils
  desktop-file-utils appstream hyperfine file time btrfs-progs
  librsvg2-bin libx11-dev dpkg-dev man-db
  libcli11-dev jq xdotool libxxhash-dev
  # File systems the transfer tests mount: XFS and exFAT images, FAT, sshfs
  # to an sshd on the loopback address, access lists.
  xfsprogs exfatprogs exfat-fuse dosfstools fusefat fuse3 sshfs openssh-server openssh-client
  acl attr
  # Power cuts are tested on ext4 images on loop devices.
  e2fsprogs util-linux
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
