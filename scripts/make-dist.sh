#!/usr/bin/env bash
# `make dist`: writes the packages into dist/: CPack's Debian package from preset `package` (the Linux
# programs alone, optimised and hardened, with their manual pages) and zip from the mingw build, of which
# only the shipped programs are built here; then the MSI of the zip's files (scripts/make-msi.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset package >/dev/null
cmake --build --preset package
# The mingw tree may be running its tests (make test); configure it only when it is new. Its libpq.dll is
# built once per machine.
./scripts/build-mingw-deps.sh
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build --preset mingw --target ZRVLinkSetup YorDriverSetup zrvlink

cpack --config build/package/CPackConfig.cmake
cpack --config build/mingw/CPackConfig.cmake

# The MSI takes what the zip holds, installed by the same rules (and stripped as CPack strips), and the
# version that CPack gave the zip.
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/mingw/CPackConfig.cmake)
files=build/mingw/msi-files
rm -rf "$files"
cmake --install build/mingw --prefix "$PWD/$files" --strip >/dev/null
msi=dist/zrvlink-kit-$version-win64.msi
./scripts/make-msi.sh "$files" "$version" "$msi"
echo "make-dist: package: $PWD/$msi generated."
