#!/usr/bin/env bash
# Runs the Windows builds of the unit tests under Wine, in a throw-away prefix.
#   tests/windows/run_unit.sh BUILD_DIR...   (each holding tests/unit_tests.exe)
# Wine is shut down for this prefix only, and what it leaves in /tmp is removed.
set -u

if (($# < 1)); then
  echo "usage: $0 BUILD_DIR..." >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=prefix.sh
source "$HERE/prefix.sh"
trap wine_prefix_remove EXIT
# No display needed for console tests; a 64-bit prefix runs both builds.
wine_prefix_make "$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine.XXXXXX")"

status=0
for dir in "$@"; do
  exe=$dir/tests/unit_tests.exe
  if [[ ! -f "$exe" ]]; then
    echo "no $exe" >&2
    status=1
    continue
  fi
  runnable_exe "$exe" || continue
  echo "# $exe under Wine"
  DISPLAY= wine "$exe" --gtest_brief=1 || status=1
done
exit $status
