#!/usr/bin/env bash
# Checks the Windows zip as a user gets it, in the Wine session of scripts/with-wine.sh: its files (the
# licences of what libpq.dll holds among them, and that DLL importing nothing that Windows lacks); then,
# unpacked into a fresh folder on drive C:, zrvlink.exe --version, the sample setup file, zrvlink.exe
# ledger status over TLS against a PostgreSQL server that PG_SERVER_RUN (the native build's) starts, and
# ZRVLinkSetup.exe started from there. With the INI as shipped its serial-line settings are locked; with
# BaudRateChange=1 written into that INI they are changeable, so the program read the INI beside it.
# Each time the program closes through its quit question and ends with exit code 0.
# Usage: tests/package/zip-test.sh ZIP VERSION SETUP_DRIVER_EXE PG_SERVER_RUN
set -uo pipefail
zip=$1 version=$2 driver=$3 pg_server_run=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=check.sh
source "$here/check.sh"
# shellcheck source=setup-run.sh
source "$here/setup-run.sh"
# shellcheck source=ledger-run.sh
source "$here/ledger-run.sh"

[ -n "${WINEPREFIX:-}" ] || { echo "zip-test: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -f "$zip" ] || { echo "FAILED: no zip at $zip"; exit 1; }
[ -f "$driver" ] || { echo "FAILED: no test driver at $driver (build the mingw preset)"; exit 1; }
[ -x "$pg_server_run" ] || { echo "FAILED: no pg_server_run at $pg_server_run (build the native preset)"; exit 1; }
zip=$(realpath "$zip") driver=$(realpath "$driver") pg_server_run=$(realpath "$pg_server_run")

top=zrvlink-kit-$version-win64
check_equal "file name" "$top.zip" "$(basename "$zip")"
expected="$top/LICENSE-OpenSSL.txt
$top/LICENSE-PostgreSQL.txt
$top/LICENSE.txt
$top/README.txt
$top/YorDriverSetup.exe
$top/ZRVLinkSetup.exe
$top/ZRVLinkSetup.ini
$top/libpq.dll
$top/sample.dat
$top/zrvlink.exe"
check_equal "files" "$expected" "$(unzip -Z1 "$zip" | grep -v '/$' | sort)"

unpacked=$(mktemp -d "$WINEPREFIX/drive_c/zrv-zip-test.XXXXXX")
unzip -q "$zip" -d "$unpacked"
dir=$unpacked/$top
cd "$dir" || exit 1

crlf_only() { ! grep -q $'[^\r]$' "$1" && ! grep -q '^$' "$1"; }
for text in LICENSE.txt LICENSE-OpenSSL.txt LICENSE-PostgreSQL.txt README.txt ZRVLinkSetup.ini sample.dat; do
  check_true "$text has CR LF line ends" crlf_only "$text"
done
licence=$(cat "$here/../../LICENSE")
check_equal "LICENSE.txt opens with the kit's licence" "$licence" "$(tr -d '\r' <LICENSE.txt | head -c ${#licence})"
for other in LICENSE-PostgreSQL.txt LICENSE-OpenSSL.txt; do
  check_true "LICENSE.txt names $other" grep -q "^ *$other " LICENSE.txt
done
check_true "LICENSE-PostgreSQL.txt is PostgreSQL's licence" grep -q '^PostgreSQL Database Management System' \
  LICENSE-PostgreSQL.txt
check_true "LICENSE-OpenSSL.txt is the Apache License" grep -q '^ *Apache License' LICENSE-OpenSSL.txt
# Windows has every DLL that libpq.dll imports: nothing else needs shipping beside it.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u; }
check_equal "libpq.dll imports system DLLs only" "" \
  "$(imports libpq.dll | grep -vxE '(advapi32|crypt32|gdi32|kernel32|msvcrt|secur32|shell32|user32|ws2_32)\.dll')"
check_equal "README.txt names the version" "ZRV-Link setup kit $version for Windows (64-bit)" \
  "$(head -n 1 README.txt | tr -d '\r')"

check_equal "zrvlink.exe --version" "zrvlink $version" "$("$WINE" zrvlink.exe --version | tr -d '\r')"
# The sample is complete and in the form zrvlink writes: loading and printing it gives it back.
check_equal "the sample setup file loads whole" "$(tr -d '\r' <sample.dat)" \
  "$("$WINE" zrvlink.exe check sample.dat | tr -d '\r')"
check_equal "zrvlink.exe ledger status over TLS, libpq.dll from beside it" \
  "zrvlink ledger: ledger host=127.0.0.1 port=PORT dbname=postgres user=zrv: not a ledger of stations (no station has worked there yet); exit 32" \
  "$(ledger_status "$pg_server_run" "$dir/zrvlink.exe")"
"$WINE" YorDriverSetup.exe
check_equal "YorDriverSetup.exe without an argument" 0 $?

check_equal "ZRVLinkSetup.exe with the INI as shipped" "locked, exit 0" "$(run_setup "$WINE" "$dir/ZRVLinkSetup.exe")"
sed -i 's/^BaudRateChange=0\r$/BaudRateChange=1\r/' ZRVLinkSetup.ini
check_true "the INI could be changed" grep -q '^BaudRateChange=1' ZRVLinkSetup.ini
check_equal "ZRVLinkSetup.exe with BaudRateChange=1 beside it" "changeable, exit 0" "$(run_setup "$WINE" "$dir/ZRVLinkSetup.exe")"

cd / && rm -rf "$unpacked"
check_summary "zip checks"
