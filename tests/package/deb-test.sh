#!/usr/bin/env bash
# Checks the Debian package as a user gets it: its name and fields, lintian (an error or a warning
# fails; the package's own overrides apply), its list of files, its copyright file against LICENSE, and
# its programs and manual pages unpacked into a scratch root; then its udev rule (udev-rule-test.sh).
# Usage: tests/package/deb-test.sh DEB VERSION
set -uo pipefail
deb=$1 version=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=check.sh
source "$here/check.sh"

[ -f "$deb" ] || { echo "FAILED: no package at $deb"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-deb-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

check_equal "file name" "zrvlink_${version}_amd64.deb" "$(basename "$deb")"
check_equal "version field" "$version" "$(dpkg-deb -f "$deb" Version)"
check_equal "architecture field" "amd64" "$(dpkg-deb -f "$deb" Architecture)"
# Every zrvlink process loads what the package depends on: a TLS or compression library would cost
# each port's child more start-up time than its whole transfer.
check_equal "no TLS, compression or HTTP library among the dependencies" "" \
  "$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -E 'httplib|ssl|crypto|brotli|zlib|libz')"
# The oldest systems the README names: Ubuntu 22.04 has glibc 2.35 and libstdc++ 12.
libc_floor=$(dpkg-deb -f "$deb" Depends | sed -n 's/.*libc6 (>= \([^)]*\)).*/\1/p')
check_true "installs with glibc 2.35 (needs ${libc_floor:-none})" dpkg --compare-versions "${libc_floor:-0}" le 2.35

lintian --fail-on error,warning --info --pedantic "$deb" >"$work/lintian.txt" 2>&1
status=$?
grep -v 'running with root privileges' "$work/lintian.txt"
check_equal "lintian finds no error or warning" 0 "$status"

expected_files="./usr/bin/zrvlink
./usr/bin/zrvlink-sim
./usr/lib/udev/rules.d/70-zrvlink.rules
./usr/share/doc/zrvlink/changelog.gz
./usr/share/doc/zrvlink/copyright
./usr/share/doc/zrvlink/examples/sample.dat
./usr/share/lintian/overrides/zrvlink
./usr/share/man/man1/zrvlink-sim.1.gz
./usr/share/man/man1/zrvlink.1.gz"
check_equal "files" "$expected_files" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)"

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
check_equal "zrvlink --version" "zrvlink $version" "$("$bin/zrvlink" --version)"
check_equal "zrvlink-sim --version" "zrvlink-sim $version" "$("$bin/zrvlink-sim" --version)"
sim_help=$("$bin/zrvlink-sim" --help)
check_equal "zrvlink-sim --help" "Usage: zrvlink-sim [OPTION]..." "$(head -n 1 <<<"$sim_help")"
# The copyright file holds the kit's licence: its holder (after the years, which Debian asks for), and
# its text as a standalone paragraph.
copyright=$root/usr/share/doc/zrvlink/copyright
license=$here/../../LICENSE
check_equal "copyright holder as in LICENSE" "$(sed -n 's/^Copyright //p' "$license")" \
  "$(sed -n 's/^Copyright: [0-9, -]* //p' "$copyright")"
licence_paragraph() {
  awk '/^License: / && !/^License: Expat$/ { text = 0 } /^License: Expat$/ { text = 1; next }
       text && /^ / { line = substr($0, 2); print (line == "." ? "" : line); next } { text = 0 }' "$1"
}
check_equal "copyright file has the text of LICENSE" "$(tail -n +5 "$license")" "$(licence_paragraph "$copyright")"
# The sample is complete and in the form zrvlink writes: loading and printing it gives it back.
sample=$root/usr/share/doc/zrvlink/examples/sample.dat
check_equal "the sample setup file loads whole" "$(cat "$sample")" "$("$bin/zrvlink" check "$sample" | tr -d '\r')"

# Each manual page shows its program's --help (and zrvlink's that of a command) line for line; the
# synopsis holds the usage lines without "Usage: ".
trim() { sed 's/^ *//; s/^Usage: //; s/ *$//'; }
page_shows() { # PAGE HELP_TEXT
  local page=$work/page.txt line
  MANWIDTH=200 man -l "$1" 2>/dev/null | trim >"$page"
  while IFS= read -r line; do
    line=$(trim <<<"$line")
    [ -z "$line" ] || grep -Fxq -- "$line" "$page" || { echo "  not on the page: $line"; return 1; }
  done <<<"$2"
}
man1=$root/usr/share/man/man1
check_true "zrvlink.1 shows zrvlink --help" page_shows "$man1/zrvlink.1.gz" "$("$bin/zrvlink" --help)"
check_true "zrvlink.1 shows zrvlink write --help" page_shows "$man1/zrvlink.1.gz" "$("$bin/zrvlink" write --help)"
check_true "zrvlink-sim.1 shows zrvlink-sim --help" page_shows "$man1/zrvlink-sim.1.gz" "$sim_help"

"$here/udev-rule-test.sh" "$root/usr/lib/udev/rules.d/70-zrvlink.rules"
check_equal "udev rule" 0 $?

check_summary "deb checks"
