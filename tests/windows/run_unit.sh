#!/usr/bin/env bash
# Runs the Windows builds of the unit tests under Wine, in a throw-away prefix.
#   tests/windows/run_unit.sh BUILD_DIR...   (each holding tests/unit_tests.exe and win32_tests.exe)
# Wine is shut down for this prefix only, and what it leaves in /tmp is removed.
set -u

if (($# < 1)); then
  echo "usage: $0 BUILD_DIR..." >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=prefix.sh
source "$HERE/prefix.sh"
XVFB_PID=
trap 'wine_prefix_remove; [[ -n $XVFB_PID ]] && kill "$XVFB_PID"' EXIT
# A 64-bit prefix runs both builds.
wine_prefix_make "$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine.XXXXXX")"
# The unit tests need no display; the backend's tests make real windows, which need one.
fd=$(mktemp "${TMPDIR:-/tmp}/zorvane-displayfd.XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd" >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 100); do [[ -s $fd ]] && break; sleep 0.1; done
BACKEND_DISPLAY=:$(head -1 "$fd")
rm -f "$fd"

status=0
for dir in "$@"; do
  for exe in "$dir/tests/unit_tests.exe" "$dir/tests/win32_tests.exe"; do
    if [[ ! -f "$exe" ]]; then
      echo "no $exe" >&2
      status=1
      continue
    fi
    runnable_exe "$exe" || continue
    echo "# $exe under Wine"
    display=
    [[ $exe == *win32_tests.exe ]] && display=$BACKEND_DISPLAY
    out=$(mktemp "${TMPDIR:-/tmp}/zorvane-unit.XXXXXX")
    DISPLAY=$display wine "$exe" --gtest_brief=1 2>&1 | tee "$out"
    rc=${PIPESTATUS[0]}
    # Wine's launcher sometimes fails to start a program on a loaded machine ("Application could
    # not be started", no test run): that is Wine's failure, not the tests'. Once more, said so.
    if ((rc != 0)) && grep -q 'could not be started' "$out" && ! grep -q '^\[==========\]' "$out"; then
      echo "# Wine could not start $exe; once more"
      DISPLAY=$display wine "$exe" --gtest_brief=1
      rc=$?
    fi
    rm -f "$out"
    ((rc == 0)) || status=1
  done
done
exit $status
