#!/usr/bin/env bash
# Runs the Windows builds of the unit tests under Wine, in a throw-away prefix.
#   tests/windows/run_unit.sh BUILD_DIR...   (each holding tests/unit_tests.exe and win32_tests.exe)
# Wine is shut down for this prefix only, and what it leaves in /tmp is removed. Where this kernel
# runs no 32-bit programs, a 32-bit build's tests run in the 32-bit layer (i386_layer.sh).
set -u

if (($# < 1)); then
  echo "usage: $0 BUILD_DIR..." >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=prefix.sh
source "$HERE/prefix.sh"
# shellcheck source=i386_layer.sh
source "$HERE/i386_layer.sh"
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
in_layer=()
for dir in "$@"; do
  # A build whose programs cannot run here, where the 32-bit layer can run them: there.
  if ! runnable_exe "$dir/tests/unit_tests.exe" >/dev/null && i386_layer_why_not >/dev/null; then
    in_layer+=("$dir")
    continue
  fi
  for exe in "$dir/tests/unit_tests.exe" "$dir/tests/win32_tests.exe"; do
    if [[ ! -f "$exe" ]]; then
      echo "no $exe" >&2
      status=1
      continue
    fi
    if ! why=$(runnable_exe "$exe"); then
      echo "${why}, and the 32-bit layer cannot run here: $(i386_layer_why_not)"
      continue
    fi
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
for dir in "${in_layer[@]}"; do
  echo "# $dir in the 32-bit layer (Wine's 32-bit half under qemu-i386)"
  if ! i386_layer_make; then
    echo "# skipped: $dir, the 32-bit layer's root could not be made (see above)"
    continue
  fi
  i386_layer_run "$HERE/run_unit.sh" "$dir" || status=1
done
exit $status
