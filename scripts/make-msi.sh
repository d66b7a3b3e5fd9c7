#!/usr/bin/env bash
# Builds the Windows installer from a folder of the kit's Windows files (as the mingw build installs them):
# packaging/zrvlink-kit.wxs through wixl, then, with msibuild, the rows that wixl 0.101 cannot write.
# `make dist` runs it with the kit's version; the package checks also build other versions with it.
# Usage: scripts/make-msi.sh FILES_DIR VERSION OUTPUT.msi
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 FILES_DIR VERSION OUTPUT.msi" >&2; exit 2; }
files=$(realpath "$1") version=$2 output=$3
root=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
msi=$work/kit.msi

# wixl finds the files by names relative to the folder it runs in.
(cd "$files" && wixl --arch x64 -D Version="$version" -o "$msi" "$root/packaging/zrvlink-kit.wxs")

# wixl has no Environment element. The install folder goes at the end of the machine's PATH ("[~];"
# appends; name "=-*PATH": set on install, removed on uninstall, the system's variable, not the user's),
# with the component of zrvlink.exe.
printf '%s\n' $'Environment\tName\tValue\tComponent_' $'s72\tl255\tL255\ts72' $'Environment\tEnvironment' \
  $'InstallDirOnPath\t=-*PATH\t[~];[INSTALLDIR]\tCommandLine' >"$work/Environment.idt"
msibuild "$msi" -i "$work/Environment.idt"

# wixl writes only advertised shortcuts (target: the feature); Windows shows those without the program's
# icon and checks the installation at every start. A plain shortcut targets the file.
msibuild "$msi" -q "UPDATE Shortcut SET Target = '[#ZRVLinkSetup.exe]' WHERE Shortcut = 'SetupShortcut'"

# wixl drops IncludeMaximum, so the row meant to find this very version would find nothing. Attributes
# is part of the row's key: the row is written again, with only-detect (2), minimum inclusive (256) and
# maximum inclusive (512).
upgrade_code=$(msiinfo export "$msi" Upgrade | tr -d "\r" | awk -F'\t' '$7 == "ZRV_SAME_VERSION_FOUND" { print $1 }')
[ -n "$upgrade_code" ] || { echo "make-msi: no same-version row in the Upgrade table" >&2; exit 1; }
msibuild "$msi" -q "DELETE FROM Upgrade WHERE ActionProperty = 'ZRV_SAME_VERSION_FOUND'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Attributes, ActionProperty)
      VALUES ('$upgrade_code', '$version', '$version', 770, 'ZRV_SAME_VERSION_FOUND')"

# wixl knows no NeverOverwrite. With it an upgrade leaves an existing INI as the site changed it, on
# Windows and under Wine alike (Windows alone would also keep a file whose date shows a change; Wine
# overwrites it). Attributes: 64-bit (256) and never overwrite (128).
msibuild "$msi" -q "UPDATE Component SET Attributes = 384 WHERE Component = 'SetupIni'"

mkdir -p "$(dirname "$output")"
mv "$msi" "$output"
