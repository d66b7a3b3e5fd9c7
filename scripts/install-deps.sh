#!/usr/bin/env bash
# Installs, with apt-get, every package that building and testing the kit needs; does nothing when all are there.
set -euo pipefail
# shellcheck source=debian-source.sh
source "$(dirname "$0")/debian-source.sh"

PACKAGES=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 fonts-wine xvfb imagemagick
  clang-14 libclang-rt-14-dev clang-format
  # Header-only libraries of the command line (argument parsing, JSON), in both builds.
  libcli11-dev nlohmann-json3-dev
  # The station's live board: its HTTP library (a shared library on Linux; the mingw build takes the
  # whole header, below), and a real browser for its tests, driven through chromedriver by Selenium.
  libcpp-httplib-dev chromium chromium-driver python3-selenium fonts-dejavu-core
  # Packaging and its checks: man (manual pages are checked as they are made), dpkg-shlibdeps for the
  # .deb's dependencies, lintian, udevadm for the udev rule, unzip for the Windows zip; wixl builds the
  # MSI, msitools (msibuild, msiinfo, msiextract) completes and checks it.
  man-db dpkg-dev lintian udev unzip wixl msitools
  # A Japanese code page for the dialog program's tests under Wine.
  locales
  # The stations' shared ledger: libpq to build against, and a server that the tests start in a
  # scratch folder of their own.
  libpq-dev postgresql
  # Fonts that stand in for the dialog font in those tests: Arial's measures, and close to the
  # dialog font's own.
  fonts-liberation2 fonts-ipafont-gothic
)

# The Wine tests of a Japanese code page run with LC_ALL=ja_JP.UTF-8, which needs the locale generated.
ensure_locale() {
  locale -a 2>/dev/null | grep -qx 'ja_JP.utf8' && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: the ja_JP.UTF-8 locale is missing; run as root to generate it" >&2
    return 1
  fi
  echo "install-deps: generating the ja_JP.UTF-8 locale"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

# Debian's libcpp-httplib-dev holds only the library's declarations (its Linux build is a shared
# library, which would bring TLS and compression libraries into every zrvlink process). The builds
# compile the library from its whole header: the one of the same version, with Debian's patches, from
# Debian's source package, kept where cli/CMakeLists.txt looks for it. The folder is an include folder
# of the builds: nothing in it may be named as a header.
HTTPLIB_DIR=/usr/local/share/zrvlink-build/cpp-httplib
ensure_httplib_header() {
  local version work
  version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev)
  [ -f "$HTTPLIB_DIR/httplib.h" ] && [ "$(cat "$HTTPLIB_DIR/httplib.h.debian-version" 2>/dev/null)" = "$version" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: the whole httplib.h of cpp-httplib $version is missing; run as root to fetch it" >&2
    return 1
  fi
  echo "install-deps: fetching the source of cpp-httplib $version for the Windows build"
  work=$(mktemp -d)
  if zrv_debian_source "$work" "cpp-httplib=$version" &&
     zrv_debian_unpack "$work/source/cpp-httplib_${version#*:}.dsc" "$work/httplib" &&
     install -D -m 0644 "$work/httplib/httplib.h" "$HTTPLIB_DIR/httplib.h"; then
    echo "$version" >"$HTTPLIB_DIR/httplib.h.debian-version"
    rm -rf "$work"
    return 0
  fi
  rm -rf "$work"
  echo "install-deps: could not fetch the source package of cpp-httplib $version" >&2
  return 1
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  ensure_httplib_header
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi

# The tests run PostgreSQL servers of their own: the package need not make and start a system one.
if [ ! -e /etc/postgresql-common/createcluster.conf ]; then
  mkdir -p /etc/postgresql-common
  echo "create_main_cluster = false" > /etc/postgresql-common/createcluster.conf
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_locale
ensure_httplib_header
