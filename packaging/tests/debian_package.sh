#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with CPack and checks it as apt and dpkg will see
# it: the control fields (run-time dependencies on Qt 6 widgets and SQLCipher,
# the Japanese font recommended, no build-only packages), the exact file list
# with owners and modes, and nothing run at install or removal time.
#
# debian_package.sh BUILD_DIR WORK_DIR VERSION APP_DIR APPSTREAM_ID ICON_SIZES
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

build=$1 work=$2 version=$3 app_dir=$4 appstream_id=$5 icon_sizes=$6

rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }

arch=$(dpkg --print-architecture)
deb=$work/m_sifter_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in $work: $(ls "$work")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = m-sifter ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "architecture $(field Architecture)"

# One package name out of a Depends or Recommends field, alternatives included.
has_package() { tr ',|' '\n\n' <<<"$1" | sed 's/^ *//; s/ .*//' | grep -qx "$2"; }
depends=$(field Depends)
echo "Depends: $depends"
for package in libqt6widgets6 libsqlcipher0; do
  has_package "$depends" "$package" || fail "Depends lacks $package"
done
if tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -E -- '-dev$'; then
  fail "Depends names a development package"
fi
recommends=$(field Recommends)
echo "Recommends: $recommends"
has_package "$recommends" fonts-ipafont-gothic || fail "Recommends lacks fonts-ipafont-gothic"

# Nothing runs at install or removal: dpkg's own triggers refresh the menu
# and the icon cache, so removing the package leaves nothing behind.
control_files=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[ "$control_files" = "control md5sums " ] || fail "control archive holds: $control_files"

# Every file and link, with its mode and owner, exactly.
expected=$work/expected.txt
{
  for program in m_sifter m_sifter-cli; do
    echo "lrwxrwxrwx root/root ./usr/bin/$program -> ../$app_dir/$program"
    echo "-rwxr-xr-x root/root ./usr/$app_dir/$program"
    echo "-rw-r--r-- root/root ./usr/share/man/man1/$program.1.gz"
  done
  echo "-rw-r--r-- root/root ./usr/$app_dir/index.html"
  echo "-rw-r--r-- root/root ./usr/$app_dir/README.md"
  echo "-rw-r--r-- root/root ./usr/share/doc/m-sifter/copyright"
  echo "-rw-r--r-- root/root ./usr/$app_dir/sys/msg"
  echo "-rw-r--r-- root/root ./usr/share/applications/m_sifter.desktop"
  echo "-rw-r--r-- root/root ./usr/share/metainfo/$appstream_id.metainfo.xml"
  echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/m_sifter.svg"
  for size in $icon_sizes; do
    echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x${size}/apps/m_sifter.png"
  done
} | sort >"$expected"
actual=$work/actual.txt
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { $3 = $4 = $5 = ""; print }' |
  sed 's/  */ /g' | sort >"$actual"
diff -u "$expected" "$actual" || fail "the package's files differ from the expected list"

# Directories must be plain 0755 root-owned ones, or dpkg would change the
# modes of shared folders such as /usr/share/icons.
if dpkg-deb --contents "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' | grep .; then
  fail "a directory with an unusual mode or owner"
fi

dpkg-deb --extract "$deb" "$work/extract"
for program in m_sifter m_sifter-cli; do
  file -b "$work/extract/usr/$app_dir/$program" | grep -q ', stripped' ||
    fail "$program is not stripped: $(file -b "$work/extract/usr/$app_dir/$program")"
done
echo "ok: $(basename "$deb")"
