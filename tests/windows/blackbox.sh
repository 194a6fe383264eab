#!/usr/bin/env bash
# Black-box tests of the Windows program under Wine, on a virtual X server.
#
#   tests/windows/blackbox.sh EXE [EXE...]
#
# Every EXE (the 32- and the 64-bit zorvane.exe) runs the same cases in one throw-away 64-bit
# prefix with Wine's virtual desktop (1280 x 1024) on a fresh Xvfb. The program is read from
# outside with winprobe.exe (built beside the 64-bit program, in tests/), driven with xdotool and
# looked at with screenshots. Output as tests/blackbox/run.sh: "ok - ..." / "not ok - ...", then
# "N passed, N failed, N skipped"; the exit status is non-zero when anything failed.

set -u

if (($# < 1)); then
  echo "usage: $0 EXE..." >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
ALL_EXES=()
for e in "$@"; do ALL_EXES+=("$(cd "$(dirname "$e")" && pwd)/$(basename "$e")"); done
WINPROBE=$(dirname "${ALL_EXES[-1]}")/tests/winprobe.exe
unset DISPLAY
BUILD_DIR=$HERE   # lib.sh wants one; its X-side probe is not used here
BB_TMP=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine-bb.XXXXXX")
# shellcheck source=../blackbox/lib.sh
source "$HERE/../blackbox/lib.sh"
# shellcheck source=../blackbox/setup_keys.sh
source "$HERE/../blackbox/setup_keys.sh"
# shellcheck source=cases.sh
source "$HERE/cases.sh"
# shellcheck source=scale.sh
source "$HERE/scale.sh"
# shellcheck source=installer.sh
source "$HERE/installer.sh"
# shellcheck source=prefix.sh
source "$HERE/prefix.sh"

export TZ=UTC LANG=C.UTF-8 LC_ALL=C.UTF-8

cleanup() {
  stop_all
  wine_prefix_remove
  rm -rf "$BB_TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

require Xvfb wine wineserver xdotool xwininfo import convert setsid awk faketime od pgrep unzip \
  -- "${ALL_EXES[@]}" "$WINPROBE"
EXES=()
for e in "${ALL_EXES[@]}"; do
  if why=$(runnable_exe "$e"); then EXES+=("$e"); else skip "every case of $e" "${why#"# skipped: $e is "}"; fi
done
((${#EXES[@]} > 0)) || { echo "0 passed, 0 failed, $SKIPPED skipped"; exit 0; }

started=$SECONDS
# The prefix, with a desktop colour that no control of ours uses.
wine_prefix_make "$BB_TMP/prefix" 1280x1024
DISPLAY= wine reg add 'HKCU\Control Panel\Colors' /v Background /d "$DESK_COLOUR_REG" /f >/dev/null 2>&1
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

start_x || setup_failed "Xvfb did not start"
# One server for the whole run: every start then skips the server's own start-up.
wineserver -p
# The first program to ask for the desktop starts it (explorer.exe, in this shell's process group).
probe top >/dev/null
wait_for 10000 locate_desktop || setup_failed "Wine's desktop window did not appear"
echo "# prefix and desktop ready in $((SECONDS - started)) s, desktop at $DESK_X,$DESK_Y"

# each_exe FN [EXE...]: FN for those programs (every runnable one), with EXE and its TAG
# ("[win64]") set.
each_exe() {
  local fn=$1
  shift
  (($# > 0)) || set -- "${EXES[@]}"
  for EXE in "$@"; do
    TAG="[$(basename "$(dirname "$EXE")")]"
    TAG=${TAG/build-/}
    "$fn"
  done
}
each_exe run_cases
# Two builds side by side: one program, whichever build starts first.
((${#EXES[@]} >= 2)) && case_other_build_refused "${EXES[0]}" "${EXES[1]}"
# Every build's packages, read whether or not its program runs here; the 64-bit one installed.
[[ -z "${CASES:-}" || " $CASES " == *" packages "* ]] && each_exe case_packages "${ALL_EXES[@]}"
# Last: each scale needs Wine's desktop made again.
[[ -z "${CASES:-}" || " $CASES " == *" scale "* ]] && each_exe case_scale

echo "# run time $((SECONDS - started)) s"
echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
((FAILED == 0))
