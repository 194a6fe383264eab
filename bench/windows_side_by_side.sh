#!/usr/bin/env bash
# One tick's cost in the native unit-test binary and in the 32- and 64-bit Windows ones under
# Wine, in one run, and the sizes of the programs.
#
#   bench/windows_side_by_side.sh NATIVE_BUILD WIN32_BUILD WIN64_BUILD
#
# Each build dir holds tests/unit_tests(.exe) and zorvane(.exe). Wine runs in a throw-away prefix
# without a display (the measurement uses the in-memory backend), removed on exit.
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 NATIVE_BUILD WIN32_BUILD WIN64_BUILD" >&2
  exit 2
fi
NATIVE=$1 W32=$2 W64=$3
# shellcheck source=../tests/windows/prefix.sh
source "$(dirname "$0")/../tests/windows/prefix.sh"
trap wine_prefix_remove EXIT
wine_prefix_make "$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine-bench.XXXXXX")"

echo "== one tick, in-memory backend (ns per pass; lower is better)"
echo "-- native ($(uname -m))"
"$NATIVE/tick_cost"
echo "-- win32 (i686) under Wine"
runnable_exe "$W32/tick_cost.exe" && DISPLAY= wine "$W32/tick_cost.exe" | tr -d '\r'
echo "-- win64 (x86_64) under Wine"
runnable_exe "$W64/tick_cost.exe" && DISPLAY= wine "$W64/tick_cost.exe" | tr -d '\r'

echo
echo "== program sizes (bytes): the file, and its code and data as loaded (size's dec column)"
size_of() {
  printf '%-34s %9d %9d\n' "$2" "$(stat -c %s "$2")" "$("$1" "$2" | awk 'NR == 2 { print $4 }')"
}
size_of size "$NATIVE/zorvane"
size_of i686-w64-mingw32-size "$W32/zorvane.exe"
size_of x86_64-w64-mingw32-size "$W64/zorvane.exe"
echo "(the native file carries debug information (RelWithDebInfo) and links libX11, libXft and"
echo " libstdc++ dynamically; the .exe files are Release builds with the C++ runtime linked in"
echo " statically, needing only Windows' own DLLs)"
