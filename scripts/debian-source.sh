# Sourced (bash) by the scripts that fetch Debian source packages: the machine's own Debian mirrors as
# source entries, in a list of apt's own for this alone (the machine's apt configuration stays as it is).
# apt checks what it fetches as it does for binary packages: the mirror's Release file by its signature,
# the source index by the Release file's hash, and each file of a package by the index's hash.
# zrv_debian_source WORK PACKAGE=VERSION...: downloads the packages' files (.dsc and tarballs) into
# WORK/source, without unpacking them; false when apt cannot.
zrv_debian_source() {
  local work=$1 list
  shift
  mkdir -p "$work/parts" "$work/lists/partial" "$work/source"
  for list in /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] && sed 's/^Types: deb$/Types: deb-src/' "$list" >"$work/parts/$(basename "$list")"
  done
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^deb /deb-src /p' "$list" >>"$work/parts/sources.list"
  done
  local apt=(apt-get -qq -o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
             -o Dir::Etc::SourceParts="$work/parts" -o Dir::State::Lists="$work/lists")
  "${apt[@]}" update && (cd "$work/source" && "${apt[@]}" source --download-only "$@" >/dev/null)
}

# zrv_debian_unpack DSC DIR: unpacks the source package of DSC into DIR (Debian's patches applied) after
# checking every file that it names against its SHA-256 sums; false when one differs or is missing.
zrv_debian_unpack() {
  local dsc=$1 dir=$2 sums
  sums=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/ s/^ \([0-9a-f]\{64\}\) [0-9]* \(.*\)$/\1  \2/p' "$dsc")
  [ -n "$sums" ] || { echo "debian-source: $dsc names no SHA-256 sums" >&2; return 1; }
  (cd "$(dirname "$dsc")" && sha256sum --quiet --strict -c <<<"$sums" >&2) &&
    dpkg-source --no-check -x "$dsc" "$dir" >/dev/null
}
