#!/usr/bin/env bash
# Checks how scripts/debian-source.sh unpacks a Debian source package: only when every file matches the
# SHA-256 sums of its .dsc. The package is one made here with dpkg-source, then spoilt one way per case.
# Usage: tests/scripts/debian-source-test.sh
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../package/check.sh
source "$here/../package/check.sh"
# shellcheck source=../../scripts/debian-source.sh
source "$here/../../scripts/debian-source.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-debian-source.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A native source package zrv-sample 1.0 in FOLDER, whose payload.txt holds TEXT.
make_package() { # FOLDER TEXT
  local tree=$1/zrv-sample-1.0
  mkdir -p "$tree/debian/source"
  echo "$2" >"$tree/payload.txt"
  echo "3.0 (native)" >"$tree/debian/source/format"
  printf 'Source: zrv-sample\nMaintainer: Kit <kit@example.com>\n\nPackage: zrv-sample\nArchitecture: all\nDescription: a sample\n for the check\n' \
    >"$tree/debian/control"
  printf 'zrv-sample (1.0) unstable; urgency=low\n\n  * Sample.\n\n -- Kit <kit@example.com>  Mon, 01 Jan 2024 00:00:00 +0000\n' \
    >"$tree/debian/changelog"
  (cd "$1" && dpkg-source -b zrv-sample-1.0 >/dev/null 2>&1 && rm -rf zrv-sample-1.0)
}

# The ways a fetched package can differ from what its .dsc promises. A tarball of another payload is
# whole: only the sums tell it from the right one.
spoil() { # CASE FOLDER
  case $1 in
    intact) ;;
    tarball-replaced)
      make_package "$2/other" "another payload"
      mv "$2/other/zrv-sample_1.0.tar.xz" "$2/" ;;
    tarball-missing) rm "$2/zrv-sample_1.0.tar.xz" ;;
    no-sha256-sums) sed -i '/^Checksums-Sha256:/,/^[^ ]/{/^ /d}' "$2/zrv-sample_1.0.dsc" ;;
  esac
}

for case in intact tarball-replaced tarball-missing no-sha256-sums; do
  folder=$work/$case
  mkdir -p "$folder"
  make_package "$folder" "the payload"
  spoil "$case" "$folder"
  zrv_debian_unpack "$folder/zrv-sample_1.0.dsc" "$folder/unpacked" 2>/dev/null
  status=$?
  if [ "$case" = intact ]; then
    check_equal "$case: unpacked" "0 the payload" "$status $(cat "$folder/unpacked/payload.txt" 2>/dev/null)"
  else
    check_true "$case: refused" test "$status" -ne 0
    check_true "$case: nothing unpacked" test ! -e "$folder/unpacked"
  fi
done
check_summary "debian-source checks"
