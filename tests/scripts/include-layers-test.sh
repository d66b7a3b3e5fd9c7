#!/usr/bin/env bash
# Checks cmake/CheckIncludeLayers.cmake, the build's check of cli/'s one-way order, on a scratch tree of
# two folders, high/ above low/: one include per case, and whether the check lets it pass.
# Usage: tests/scripts/include-layers-test.sh
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../package/check.sh
source "$here/../package/check.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-include-layers.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'set(FOLDERS low;high)\nset(SEES_low low)\nset(SEES_high high;low)\n' >"$work/rules.cmake"

# CASE FILE LINE EXPECTED: FILE below the tree holds LINE; EXPECTED is "passes" or a part of the failure.
while IFS='|' read -r case file line expected; do
  rm -rf "$work/cli" && mkdir -p "$work/cli/low" "$work/cli/high"
  mkdir -p "$(dirname "$work/cli/$file")"
  printf '// a file\n%s\nint x;\n' "$line" >"$work/cli/$file"
  output=$(cmake -DRULES="$work/rules.cmake" -DROOT="$work/cli" -P "$here/../../cmake/CheckIncludeLayers.cmake" 2>&1)
  status=$?
  if [ "$expected" = passes ]; then
    check_equal "$case" "0" "$status"
  else
    check_true "$case: fails" test "$status" -ne 0
    check_true "$case: says why" grep -qF "$expected" <<<"$output"
  fi
done <<'CASES'
a folder includes one below it|high/A.cpp|#include "cli/low/B.h"|passes
a folder includes its own|low/A.h|  #  include "cli/low/B.h"|passes
a folder includes one above it|low/A.cpp|#include "cli/high/B.h"|cli/low/A.cpp: #include "cli/high/B.h": low/ may include only low/
an include in angle brackets runs back up as well|low/A.h|#include <cli/high/B.h>|low/ may include only low/
a relative path leaves the folder unnamed|low/A.cpp|#include "../high/B.h"|name another folder's header as cli/FOLDER/
a folder without a library of its own|extra/A.cpp|#include "cli/low/B.h"|cli/extra/ is no folder with a library of its own
CASES
check_summary "include-layers checks"
