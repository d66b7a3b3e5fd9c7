#!/usr/bin/env bash
# `make dist`: CPack writes both packages into dist/: the Debian package from preset `package` (the
# Linux programs alone, optimised and hardened, with their manual pages) and the Windows zip from the
# mingw build, of which only the shipped programs are built here.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset package >/dev/null
cmake --build --preset package
# The mingw tree may be running its tests (make test); configure it only when it is new.
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build --preset mingw --target ZRVLinkSetup YorDriverSetup zrvlink

cpack --config build/package/CPackConfig.cmake
cpack --config build/mingw/CPackConfig.cmake
