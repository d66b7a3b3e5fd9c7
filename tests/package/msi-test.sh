#!/usr/bin/env bash
# Checks the Windows installer as a site's administrator meets it, in the fresh Wine prefix of
# scripts/with-wine.sh. Its tables first: the product code is new in every build, the upgrade code and
# the components' codes never change. Then msiexec /qn installs it: the files, the Start-menu shortcut
# and what it starts, zrvlink.exe found through the machine's PATH by a new process, the entry under
# installed apps; installing it again, another build of its version or a lower version over it is
# refused with a message; uninstalling leaves nothing of it. Last, an upgrade from a lower version that
# the check builds itself (scripts/make-msi.sh, from the MSI's own files): the INI as the site changed it
# stays, every other file is the new one, one product stays registered, and uninstalling still cleans up.
# Usage: tests/package/msi-test.sh MSI VERSION SETUP_DRIVER_EXE PG_SERVER_RUN
set -uo pipefail
msi=$1 version=$2 driver=$3 pg_server_run=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
# shellcheck source=check.sh
source "$here/check.sh"
# shellcheck source=setup-run.sh
source "$here/setup-run.sh"
# shellcheck source=ledger-run.sh
source "$here/ledger-run.sh"
# The kit's upgrade code: every version ever shipped carries it, or an upgrade would install beside them.
UPGRADE_CODE="{1938BF50-C534-470A-BDCB-D6DF053344E8}"
PRODUCT="ZRV-Link setup kit"
PUBLISHER="ZRV-Link setup kit authors"
# msiexec ends with 1603 when it refuses; the shell sees exit codes modulo 256.
REFUSED=$((1603 % 256))
# Wine's title of the message box in which msiexec shows a failed launch condition.
REFUSAL_TITLE="Install Failed"

[ -n "${WINEPREFIX:-}" ] || { echo "msi-test: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -f "$msi" ] || { echo "FAILED: no MSI at $msi"; exit 1; }
[ -f "$driver" ] || { echo "FAILED: no test driver at $driver (build the mingw preset)"; exit 1; }
[ -x "$pg_server_run" ] || { echo "FAILED: no pg_server_run at $pg_server_run (build the native preset)"; exit 1; }
msi=$(realpath "$msi") driver=$(realpath "$driver") pg_server_run=$(realpath "$pg_server_run")
# Wine would also turn the shortcut into a menu entry of the Linux desktop, outside the prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe="

work=$(mktemp -d "$WINEPREFIX/drive_c/zrv-msi-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
installed="$WINEPREFIX/drive_c/Program Files/ZRV-Link"

check_equal "file name" "zrvlink-kit-$version-win64.msi" "$(basename "$msi")"

# ---- The tables, and two more builds: another of this version, and one of a lower version.
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
components() { msiinfo export "$1" Component | tr -d '\r' | tail -n +4 | sort; }

check_equal "product name" "$PRODUCT" "$(property "$msi" ProductName)"
check_equal "product version" "$version" "$(property "$msi" ProductVersion)"
check_equal "publisher" "$PUBLISHER" "$(property "$msi" Manufacturer)"
check_equal "upgrade code" "$UPGRADE_CODE" "$(property "$msi" UpgradeCode)"
check_equal "installed for all users" 1 "$(property "$msi" ALLUSERS)"
check_equal "64-bit package" "Template: x64;1033" "$(msiinfo suminfo "$msi" | tr -d '\r' | grep '^Template:')"

# The files as the MSI holds them; the lower version's read-me names that version, as a real one does.
msiextract -C "$work/extracted" "$msi" >/dev/null
files=$(dirname "$(find "$work/extracted" -name ZRVLinkSetup.exe)")
IFS=. read -r major minor build <<<"$version"
if [ "$build" -gt 0 ]; then
  lower=$major.$minor.$((build - 1))
elif [ "$minor" -gt 0 ]; then
  lower=$major.$((minor - 1)).65535
else
  lower=$((major - 1)).255.65535
fi
cp -r "$files" "$work/lower-files"
sed -i "1s/$version/$lower/" "$work/lower-files/README.txt"
"$root/scripts/make-msi.sh" "$files" "$version" "$work/again.msi"
"$root/scripts/make-msi.sh" "$work/lower-files" "$lower" "$work/lower.msi"

codes=$(for m in "$msi" "$work/again.msi" "$work/lower.msi"; do property "$m" ProductCode; done | sort -u | wc -l)
check_equal "each build has a product code of its own" 3 "$codes"
check_equal "upgrade code of another build" "$UPGRADE_CODE" "$(property "$work/again.msi" UpgradeCode)"
check_equal "upgrade code of a lower version" "$UPGRADE_CODE" "$(property "$work/lower.msi" UpgradeCode)"
check_equal "the components' codes in another version" "$(components "$msi")" "$(components "$work/lower.msi")"

# ---- What Wine and the installed product show.
windows_path() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
msiexec_qn() { "$WINE" msiexec "$@" /qn; echo $?; }
install() { msiexec_qn /i "$(windows_path "$1")"; }
uninstall() { msiexec_qn /x "$(property "$1" ProductCode)"; }

installed_files() { (cd "$installed" 2>/dev/null && ls -A); }
# The installed files but the INI are those of FILES_DIR.
same_files_but_ini() {
  local name
  for name in $(installed_files); do
    [ "$name" = ZRVLinkSetup.ini ] || cmp -s "$installed/$name" "$1/$name" || { echo "  differs: $name"; return 1; }
  done
}

# Start-menu shortcuts, wherever in the prefix: Windows puts a per-machine one into the menu of all
# users, Wine into the menu of the user who installs.
shortcuts() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/*' -name '*.lnk' -printf '%f\n' | sort; }
shortcut_file() { find "$WINEPREFIX/drive_c" -path '*/Start Menu/*' -name 'ZRV-Link Setup.lnk' | head -n 1; }

# The entries under installed apps that are ours: name; version; publisher.
installed_apps() {
  "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v product="$PRODUCT" '
      function flush() { if (name == product) print name "; " version "; " publisher; name = version = publisher = "" }
      /^HKEY_/ { flush(); next }
      { field = $1; value = $0; sub(/^ *[^ ]+ +REG_[A-Z_]+ */, "", value) }
      field == "DisplayName" { name = value }
      field == "DisplayVersion" { version = value }
      field == "Publisher" { publisher = value }
      END { flush() }'
}

system_path() {
  "$WINE" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}
# The system PATH's entries; Wine leaves the separator of an entry it took out, an empty entry.
path_entries() { system_path | tr ';' '\n' | grep -v '^$'; }
# Those that name the install folder.
our_path_entries() { path_entries | grep -i 'ZRV-Link' | paste -sd ';' -; }
# zrvlink --version in a new process started in C:\, where only the PATH can lead to it.
zrvlink_through_path() { "$WINE" cmd /c 'cd /d C:\ && zrvlink --version' 2>/dev/null | tr -d '\r'; }

# msiexec /i MSI with its basic interface: prints the message box it shows and its exit code.
refusal() {
  "$WINE" msiexec /i "$(windows_path "$1")" /qb &
  local pid=$! message
  message=$("$WINE" "$driver" message "$REFUSAL_TITLE" | tr -d '\r')
  wait "$pid"
  echo "$message; exit $?"
}

nothing_left() { # WHEN
  check_equal "$1: no file" "" "$(installed_files)"
  check_true "$1: no install folder" test ! -e "$installed"
  check_equal "$1: no shortcut" "" "$(shortcuts)"
  check_equal "$1: PATH as before the install" "$path_before" "$(path_entries)"
  check_equal "$1: no entry under installed apps" "" "$(installed_apps)"
}

# ---- A fresh install.
path_before=$(path_entries)
check_equal "zrvlink is not found before the install" "" "$(zrvlink_through_path)"
check_equal "install" 0 "$(install "$msi")"
check_equal "installed files" "LICENSE-OpenSSL.txt LICENSE-PostgreSQL.txt LICENSE.txt README.txt YorDriverSetup.exe ZRVLinkSetup.exe ZRVLinkSetup.ini libpq.dll sample.dat zrvlink.exe" \
  "$(installed_files | sort | paste -sd ' ' -)"
check_true "the installed files are the MSI's" same_files_but_ini "$files"
check_true "the INI is the MSI's" cmp -s "$installed/ZRVLinkSetup.ini" "$files/ZRVLinkSetup.ini"
check_equal "Start-menu shortcut" "ZRV-Link Setup.lnk" "$(shortcuts)"
shortcut=$(shortcut_file)
check_true "the shortcut targets the installed program" \
  grep -aqF 'C:\Program Files\ZRV-Link\ZRVLinkSetup.exe' "$shortcut"
check_equal "installed apps" "$PRODUCT; $version; $PUBLISHER" "$(installed_apps)"
check_equal "the install folder on the system PATH" 'C:\Program Files\ZRV-Link\' "$(our_path_entries)"
check_equal "zrvlink --version through the PATH" "zrvlink $version" "$(zrvlink_through_path)"
check_equal "the installed zrvlink.exe ledger status over TLS" \
  "zrvlink ledger: ledger host=127.0.0.1 port=PORT dbname=postgres user=zrv: not a ledger of stations (no station has worked there yet); exit 32" \
  "$(ledger_status "$pg_server_run" "$installed/zrvlink.exe")"
check_equal "ZRVLinkSetup.exe from the shortcut, INI as shipped" "locked, exit 0" \
  "$(run_setup "$WINE" start /wait /unix "$shortcut")"

check_equal "the same MSI again is refused" "$PRODUCT $version is already installed.; exit $REFUSED" \
  "$(refusal "$msi")"
check_equal "another build of the version is refused" "$PRODUCT $version is already installed.; exit $REFUSED" \
  "$(refusal "$work/again.msi")"
check_equal "a lower version is refused" "A newer version of $PRODUCT is already installed.; exit $REFUSED" \
  "$(refusal "$work/lower.msi")"
check_equal "installed apps after the refusals" "$PRODUCT; $version; $PUBLISHER" "$(installed_apps)"

check_equal "uninstall" 0 "$(uninstall "$msi")"
nothing_left "after uninstall"

# ---- An upgrade from the lower version, whose INI a site changed.
check_equal "install the lower version" 0 "$(install "$work/lower.msi")"
check_equal "installed apps before the upgrade" "$PRODUCT; $lower; $PUBLISHER" "$(installed_apps)"
sed -i 's/^BaudRateChange=0\r$/BaudRateChange=1\r/' "$installed/ZRVLinkSetup.ini"
check_true "the INI could be changed" grep -q '^BaudRateChange=1' "$installed/ZRVLinkSetup.ini"
cp "$installed/ZRVLinkSetup.ini" "$work/changed.ini"

check_equal "upgrade" 0 "$(install "$msi")"
check_true "the changed INI stays" cmp -s "$work/changed.ini" "$installed/ZRVLinkSetup.ini"
check_true "every other file is the new version's" same_files_but_ini "$files"
check_equal "installed apps after the upgrade" "$PRODUCT; $version; $PUBLISHER" "$(installed_apps)"
check_equal "the PATH after the upgrade" 'C:\Program Files\ZRV-Link\' "$(our_path_entries)"
check_equal "Start-menu shortcut after the upgrade" "ZRV-Link Setup.lnk" "$(shortcuts)"
check_equal "ZRVLinkSetup.exe from the shortcut reads the changed INI" "changeable, exit 0" \
  "$(run_setup "$WINE" start /wait /unix "$(shortcut_file)")"

check_equal "uninstall after the upgrade" 0 "$(uninstall "$msi")"
nothing_left "after uninstalling the upgrade"

check_summary "msi checks"
