# shellcheck shell=bash
# Sourced (bash) by the package checks: one line per check, and a closing count.
# check_equal WHAT EXPECTED ACTUAL; check_true WHAT COMMAND...; check_summary NAME (returns 1 on failures).
CHECKS_PASSED=0
CHECKS_FAILED=0

check_pass() {
  echo "ok: $1"
  CHECKS_PASSED=$((CHECKS_PASSED + 1))
}

check_fail() {
  echo "FAILED: $1"
  CHECKS_FAILED=$((CHECKS_FAILED + 1))
}

check_equal() {
  if [ "$2" = "$3" ]; then
    check_pass "$1"
  else
    check_fail "$1: expected '$2', got '$3'"
  fi
}

check_true() {
  local what=$1
  shift
  if "$@"; then check_pass "$what"; else check_fail "$what"; fi
}

check_summary() {
  echo "$1: $CHECKS_PASSED passed, $CHECKS_FAILED failed"
  [ "$CHECKS_FAILED" -eq 0 ]
}
