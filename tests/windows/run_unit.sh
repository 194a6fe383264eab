#!/usr/bin/env bash
# Runs the Windows builds of the unit tests under Wine, in a throw-away prefix.
#   tests/windows/run_unit.sh BUILD_DIR...   (each holding tests/unit_tests.exe)
# Wine is shut down for this prefix only, and what it leaves in /tmp is removed.
set -u

if (($# < 1)); then
  echo "usage: $0 BUILD_DIR..." >&2
  exit 2
fi
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine.XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  # Debian's Wine keeps its server socket in a folder /tmp/wine-XXXXXX whose name this file holds.
  local socket
  socket=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null)
  [[ "$socket" =~ ^wine-[A-Za-z0-9]+$ ]] && rm -rf "/tmp/$socket"
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# No display needed for console tests; wineboot makes the prefix (a 64-bit one runs both).
DISPLAY= wineboot -i >/dev/null 2>&1

status=0
for dir in "$@"; do
  exe=$dir/tests/unit_tests.exe
  if [[ ! -f "$exe" ]]; then
    echo "no $exe" >&2
    status=1
    continue
  fi
  echo "# $exe under Wine"
  DISPLAY= wine "$exe" --gtest_brief=1 || status=1
done
exit $status
