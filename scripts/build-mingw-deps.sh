#!/usr/bin/env bash
# Builds libpq for 64-bit Windows with TLS from Debian's source packages pinned in scripts/mingw-deps.conf:
# OpenSSL's libraries (static, only what a TLS client needs) linked into one libpq.dll that imports only
# system DLLs. The result goes into a folder per version outside every build tree, which the mingw preset
# finds (cmake/ZrvLibpq.cmake): include/ (libpq-fe.h and the headers it includes), bin/libpq.dll and
# licences/ (PostgreSQL's COPYRIGHT, OpenSSL's LICENSE.txt). It is built once per machine: every clone on
# the machine uses it; a second run waits for a first that is building and then finds it.
# Usage: scripts/build-mingw-deps.sh [--print-dir]
# Environment: ZRV_BUILD_CACHE (default /usr/local/share/zrvlink-build), where the folder goes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=mingw-deps.conf
source "$here/mingw-deps.conf"
# shellcheck source=debian-source.sh
source "$here/debian-source.sh"

cache=${ZRV_BUILD_CACHE:-/usr/local/share/zrvlink-build}
dir=$cache/mingw-libpq-$ZRV_PG_VERSION-openssl-$ZRV_OPENSSL_VERSION-r$ZRV_MINGW_DEPS_RECIPE
HOST=x86_64-w64-mingw32
say() { echo "build-mingw-deps: [$SECONDS s] $*"; }
fail() { echo "build-mingw-deps: $*" >&2; exit 1; }

# The source packages, each checked against its pinned .dsc and then against the sums the .dsc holds.
fetch() {
  say "fetching $ZRV_PG_SOURCE $ZRV_PG_VERSION and openssl $ZRV_OPENSSL_VERSION from Debian's mirrors"
  zrv_debian_source "$work/apt" "$ZRV_PG_SOURCE=$ZRV_PG_VERSION" "openssl=$ZRV_OPENSSL_VERSION" ||
    fail "apt could not fetch the pinned source packages (gone from the mirror? see scripts/mingw-deps.conf)"
  local source=$work/apt/source
  sha256sum --quiet --strict -c <<EOF || fail "a .dsc differs from its pin in scripts/mingw-deps.conf"
$ZRV_PG_DSC_SHA256  $source/${ZRV_PG_SOURCE}_${ZRV_PG_VERSION#*:}.dsc
$ZRV_OPENSSL_DSC_SHA256  $source/openssl_${ZRV_OPENSSL_VERSION#*:}.dsc
EOF
  zrv_debian_unpack "$source/${ZRV_PG_SOURCE}_${ZRV_PG_VERSION#*:}.dsc" "$work/postgresql" &&
    zrv_debian_unpack "$source/openssl_${ZRV_OPENSSL_VERSION#*:}.dsc" "$work/openssl" ||
    fail "a source package does not match its .dsc"
}

# OpenSSL's two libraries, static. Nothing loads code at run time (no engines, no modules, no DSO), and
# the configuration file that libpq asks OpenSSL to read is looked for where only administrators write,
# not under the current drive's \usr\local. Left out: what a TLS client of PostgreSQL never uses (other
# protocols, ciphers and formats), which also shortens the build.
OPENSSL_OPTIONS=(no-shared no-tests no-engine no-dso no-legacy no-uplink no-comp no-dtls no-sctp no-srtp
  no-psk no-srp no-nextprotoneg no-ssl-trace no-ct no-ocsp no-cms no-cmp no-ts no-rfc3779 no-idea no-seed
  no-camellia no-aria no-sm2 no-sm3 no-sm4 no-gost no-whirlpool no-mdc2 no-md4 no-rc2 no-rc4 no-rc5 no-bf
  no-cast no-siphash no-ocb no-scrypt)
OPENSSL_CONFIG_DIR='C:/Program Files/Common Files/SSL'
build_openssl() {
  say "building OpenSSL's libraries"
  (cd "$work/openssl" &&
    ./Configure mingw64 --cross-compile-prefix=$HOST- CC=gcc-posix "${OPENSSL_OPTIONS[@]}" &&
    make -j"$jobs" build_libs "OPENSSLDIR=$OPENSSL_CONFIG_DIR" "ENGINESDIR=$OPENSSL_CONFIG_DIR/no-engines" \
      "MODULESDIR=$OPENSSL_CONFIG_DIR/no-modules") >"$work/openssl.log" 2>&1 ||
    { tail -n 40 "$work/openssl.log" >&2; fail "OpenSSL did not build (log above)"; }
}

# libpq alone; the static OpenSSL needs the Windows libraries it calls after it in every link. The
# system-wide service file (pg_service.conf) is looked for where only administrators write, not under the
# current drive's \usr\local.
PG_OPTIONS=(--without-readline --without-zlib --without-icu --with-ssl=openssl
  "--sysconfdir=C:/Program Files/Common Files/postgresql")
build_libpq() {
  say "configuring PostgreSQL and building libpq"
  (cd "$work/postgresql" &&
    ./configure --host=$HOST CC=$HOST-gcc-posix "${PG_OPTIONS[@]}" --with-includes="$work/openssl/include" \
      --with-libraries="$work/openssl" LIBS="-lws2_32 -lgdi32 -lcrypt32" &&
    make -j"$jobs" -C src/interfaces/libpq) >"$work/libpq.log" 2>&1 ||
    { tail -n 40 "$work/libpq.log" >&2; fail "libpq did not build (log above)"; }
}

# The DLL may import system DLLs only: anything else would have to be shipped beside it.
check_imports() {
  local imports unexpected
  imports=$($HOST-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort)
  unexpected=$(grep -vxE 'advapi32|crypt32|gdi32|kernel32|msvcrt|secur32|shell32|user32|ws2_32' \
    <<<"$(sed 's/\.dll$//' <<<"$imports")" || true)
  [ -z "$unexpected" ] || fail "$1 imports DLLs that Windows does not have: $unexpected"
  say "$(basename "$1") imports: $(tr '\n' ' ' <<<"$imports")"
}

install_result() {
  local pg=$work/postgresql
  mkdir -p "$stage/include" "$stage/bin" "$stage/licences"
  cp "$pg/src/interfaces/libpq/libpq-fe.h" "$pg/src/include/postgres_ext.h" "$pg/src/include/pg_config_ext.h" \
    "$stage/include/"
  $HOST-strip --strip-unneeded -o "$stage/bin/libpq.dll" "$pg/src/interfaces/libpq/libpq.dll"
  check_imports "$stage/bin/libpq.dll"
  cp "$pg/COPYRIGHT" "$stage/licences/PostgreSQL-COPYRIGHT.txt"
  cp "$work/openssl/LICENSE.txt" "$stage/licences/OpenSSL-LICENSE.txt"
  printf '%s\n' "$ZRV_PG_SOURCE $ZRV_PG_VERSION" "openssl $ZRV_OPENSSL_VERSION" \
    "OpenSSL built with: ${OPENSSL_OPTIONS[*]}" "PostgreSQL configured with: ${PG_OPTIONS[*]}" \
    >"$stage/SOURCES.txt"
  chmod -R a+rX "$stage"
  touch "$stage/.complete"
  rm -rf "$dir"
  mv -T "$stage" "$dir"
}

main() {
  if [ "${1:-}" = --print-dir ]; then
    echo "$dir"
    return 0
  fi
  [ -f "$dir/.complete" ] && return 0
  mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] ||
    fail "cannot write $cache: run as root, or set ZRV_BUILD_CACHE (and the mingw preset's ZRV_MINGW_LIBPQ_DIR)"
  exec 9>"$cache/.mingw-libpq.lock"
  flock 9
  [ -f "$dir/.complete" ] && return 0

  # Run from make (make test), its builds would take themselves for sub-makes: PostgreSQL's then skips
  # the headers it generates at the top level, and libpq's support library fails without them.
  unset MAKELEVEL MAKEFLAGS MFLAGS
  work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-mingw-deps.XXXXXX")
  stage=$(mktemp -d "$cache/.staging.XXXXXX")
  trap 'rm -rf "$work" "$stage"' EXIT
  jobs=$(nproc)
  fetch
  build_openssl
  build_libpq
  install_result
  say "built $dir"
}

# Read whole before it runs: a change to this file while it builds cannot disturb it.
main "$@"
exit
