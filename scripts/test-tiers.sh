#!/usr/bin/env bash
# Builds and runs the test tiers and ends with a summary whose last lines name the tier that failed and
# its failing tests. Each step's whole output is kept in build/logs/. With enough memory, a tier's tests
# run while the next preset builds (tests mostly wait on ptys and Wine; a build keeps both cores busy),
# and the fuzz targets run side by side. `make test` stops at the first tier that fails.
# Usage: scripts/test-tiers.sh [TIER...]   (tiers: format native native-asan native-tsan mingw package
#                                             fuzz; default: all, in that order)
# Environment: FUZZ_SECONDS (default 30), ZRV_SERIAL=1 runs every step alone.
set -uo pipefail
# Each step in a process group of its own, so that ending it ends its compilers and test programs.
set -m

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
logs=$root/build/logs
mkdir -p "$logs"
started_at=$SECONDS
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
FUZZ_TARGETS=(fuzz_setup_file fuzz_replies fuzz_ini fuzz_station_csv fuzz_record_tail)
# A build and a test run side by side need about 3 GiB; below this, every step runs alone.
PARALLEL_MIN_KIB=$((4 * 1024 * 1024))

# The one version of the kit, as the top CMakeLists.txt sets it; the packages carry it in their names.
project_version() { sed -n 's/^project(ZRVLinkKit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt; }

say() { printf '[%3d s] %s\n' $((SECONDS - started_at)) "$*"; }

# The sanitizer runtimes map their shadow memory at fixed addresses; a randomised layout that crosses
# them aborts the tier on some kernels. Without randomisation the layout is the same on every run.
no_aslr() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R "$@"
  else
    echo "note: setarch -R is refused here; this sanitizer tier runs with a randomised layout" >&2
    "$@"
  fi
}

build_cmd() {
  case $1 in
    format) return 0 ;;
    fuzz)
      command -v clang++-14 >/dev/null || return 0
      cmake --preset fuzz && cmake --build --preset fuzz --target "${FUZZ_TARGETS[@]}" ;;
    # libpq for Windows first (at once when this machine has it; built or waited for otherwise). The
    # Windows tests that need a device or a PostgreSQL server start the native build's simulator or server,
    # and the line of Linux and Windows stations is a Linux test program of the native build.
    mingw)
      ./scripts/build-mingw-deps.sh && cmake --preset mingw && cmake --build --preset mingw &&
        { [ -f build/native/CMakeCache.txt ] || cmake --preset native; } &&
        cmake --build --preset native --target zrvlink-sim pg_server_run line_wine_tests ;;
    # The packages (the Windows ones from the mingw tree built above), the driver that their checks use, and
    # the native build's PostgreSQL server for their ledger check.
    package)
      ./scripts/make-dist.sh && cmake --build --preset mingw --target setup_driver &&
        { [ -f build/native/CMakeCache.txt ] || cmake --preset native; } &&
        cmake --build --preset native --target pg_server_run ;;
    *) cmake --preset "$1" && cmake --build --preset "$1" ;;
  esac
}

test_cmd() {
  case $1 in
    format) make --no-print-directory format-check ;;
    native) ctest --preset native ;;
    native-asan | native-tsan) no_aslr ctest --preset "$1" ;;
    mingw) ./scripts/with-wine.sh ctest --preset mingw ;;
    package)
      local version
      version=$(project_version)
      tests/package/deb-test.sh "dist/zrvlink_${version}_amd64.deb" "$version" &&
        ./scripts/with-wine.sh tests/package/zip-test.sh "dist/zrvlink-kit-${version}-win64.zip" "$version" \
          build/mingw/tests/windows/setup_driver.exe build/native/tests/support/pg_server_run &&
        ./scripts/with-wine.sh tests/package/msi-test.sh "dist/zrvlink-kit-${version}-win64.msi" "$version" \
          build/mingw/tests/windows/setup_driver.exe build/native/tests/support/pg_server_run ;;
    fuzz)
      if ! command -v clang++-14 >/dev/null; then
        echo "fuzz: clang++-14 is missing, fuzzing skipped"
        return 0
      fi
      ./scripts/run-fuzz.sh build/fuzz "$FUZZ_SECONDS" "${FUZZ_TARGETS[@]}" ;;
  esac
}

# Steps run in the background with their output in a log; STEP_PIDS maps a step to its process.
declare -A STEP_PIDS=()

start_step() { # TIER build|test
  local log=$logs/$1-$2.log
  (
    begin=$SECONDS
    "${2}_cmd" "$1" >"$log" 2>&1
    status=$?
    echo "step-seconds: $((SECONDS - begin))" >>"$log"
    exit $status
  ) &
  STEP_PIDS["$1 $2"]=$!
  say "$1: $2 started"
}

# Waits for every running step; on the first failure ends the others. Returns 1 and sets FAILED then.
FAILED=""
wait_steps() {
  local step pid status
  while [ ${#STEP_PIDS[@]} -gt 0 ]; do
    wait -n -p pid "${STEP_PIDS[@]}"
    status=$?
    for step in "${!STEP_PIDS[@]}"; do
      [ "${STEP_PIDS[$step]}" = "$pid" ] || continue
      unset "STEP_PIDS[$step]"
      if [ $status -eq 0 ]; then
        say "$step passed ($(step_summary $step))"
      elif [ -z "$FAILED" ]; then
        FAILED=$step
        say "$step FAILED"
        end_steps
      fi
    done
  done
  [ -z "$FAILED" ]
}

step_summary() { # TIER KIND: one line of what the step did
  local log=$logs/$1-$2.log line
  line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  [ "$1" = fuzz ] && [ "$2" = test ] && line=$(grep -c '^fuzz: ' "$log")" fuzz targets"
  [ "$1" = package ] && [ "$2" = test ] && line=$(grep -E '^(deb|zip|msi) checks: ' "$log" | paste -sd ';' - | sed 's/;/; /g')
  grep -q '^note: setarch -R is refused' "$log" && line="${line:+$line, }randomised layout (setarch -R refused)"
  printf '%s%s s' "${line:+$line, }" "$(sed -n 's/^step-seconds: //p' "$log")"
}

# The last lines of the log: which tier failed, and the tests or files that failed in it.
report_failure() {
  local tier=${FAILED% *} kind=${FAILED#* } log=$logs/${FAILED/ /-}.log
  echo
  echo "---- last lines of $log ----"
  tail -n 120 "$log"
  echo "----"
  echo "make test: tier $tier failed in its $kind step (whole output: build/logs/$tier-$kind.log)"
  case $tier-$kind in
    format-test) sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/  not formatted: \1/p' "$log" | sort -u ;;
    fuzz-test) grep "found a fault" "$log" | sed "s/^/  /" ;;
    package-test) grep '^FAILED' "$log" | sed 's/^/  /' ;;
    *-test)
      sed -n '/The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \(.*\)/  failed: \1/p' "$log"
      # A Windows test program runs many test cases under one CTest entry.
      sed -n 's/^\[  FAILED  \] \([^ ,]*\)\( (.*)\)\{0,1\}$/  failed case: \1/p' "$log" | sort -u ;;
    *-build) grep -E 'error|Error [0-9]' "$log" | grep -v '^gmake' | head -n 10 | sed 's/^/  /' ;;
  esac
}

end_steps() {
  local pid
  for pid in "${STEP_PIDS[@]}" ${DEPS_PID:+"$DEPS_PID"}; do kill -- -"$pid" "$pid" 2>/dev/null; done
}

# libpq for Windows takes long to build on a machine that has never built it (see build-mingw-deps.sh).
# With pairs, it builds from the start at low priority, on what the steps leave of the processors; the
# mingw build waits for it there. It is no step of its own: a failure shows in the mingw build.
DEPS_PID=""
start_deps_build() {
  local log=$logs/mingw-deps.log
  (
    begin=$SECONDS
    if nice -n 10 ./scripts/build-mingw-deps.sh >"$log" 2>&1; then
      say "mingw-deps: ready ($((SECONDS - begin)) s)"
    else
      say "mingw-deps: FAILED (build/logs/mingw-deps.log); the mingw build tries again"
    fi
  ) &
  DEPS_PID=$!
}
trap 'end_steps; exit 130' INT TERM

memory_allows_pairs() {
  [ "${ZRV_SERIAL:-0}" != 1 ] || return 1
  local available
  available=$(sed -n 's/^MemAvailable: *\([0-9]*\) kB/\1/p' /proc/meminfo 2>/dev/null)
  [ "${available:-0}" -ge "$PARALLEL_MIN_KIB" ]
}

# Runs TIERs in order: each tier's tests beside the next tier's build when memory allows.
run_tiers() {
  local pairs=0 previous="" tier
  memory_allows_pairs && pairs=1
  say "tiers: $*; side by side: $([ $pairs = 1 ] && echo yes || echo no)"
  [ $pairs = 1 ] && [[ " $* " == *" mingw "* ]] && start_deps_build
  for tier in "$@"; do
    [ "$tier" = format ] || start_step "$tier" build
    [ $pairs = 1 ] && [ -n "$previous" ] && start_step "$previous" test
    wait_steps || return 1
    if [ $pairs = 0 ]; then
      start_step "$tier" test
      wait_steps || return 1
    fi
    previous=$tier
  done
  if [ $pairs = 1 ] && [ -n "$previous" ]; then
    start_step "$previous" test
    wait_steps || return 1
  fi
}

tiers=("$@")
[ ${#tiers[@]} -gt 0 ] || tiers=(format native native-asan native-tsan mingw package fuzz)

if ! run_tiers "${tiers[@]}"; then
  report_failure
  exit 1
fi
say "every tier passed: ${tiers[*]}"
