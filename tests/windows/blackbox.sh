#!/usr/bin/env bash
# Black-box tests of the Windows program under Wine, on a virtual X server.
#
#   tests/windows/blackbox.sh EXE [EXE...]
#
# Every EXE (the 32- and the 64-bit zorvane.exe) runs the same cases in one throw-away 64-bit
# prefix with Wine's virtual desktop (1280 x 1024) on a fresh Xvfb. The program is read from
# outside with winprobe.exe (built beside the 64-bit program, in tests/; WINPROBE names another),
# driven with xdotool and looked at with screenshots. Where this kernel runs no 32-bit programs,
# the 32-bit one runs its cases in the 32-bit layer (i386_layer.sh), which calls this script
# again inside it; its results count here. Output as tests/blackbox/run.sh: "ok - ..." /
# "not ok - ...", then "N passed, N failed, N skipped"; the exit status is non-zero when anything
# failed.

set -u

if (($# < 1)); then
  echo "usage: $0 EXE..." >&2
  exit 2
fi
HERE=$(cd "$(dirname "$0")" && pwd)
ALL_EXES=()
for e in "$@"; do ALL_EXES+=("$(cd "$(dirname "$e")" && pwd)/$(basename "$e")"); done
WINPROBE=${WINPROBE:-$(dirname "${ALL_EXES[-1]}")/tests/winprobe.exe}
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
# shellcheck source=i386_layer.sh
source "$HERE/i386_layer.sh"

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
IN_LAYER=()  # 32-bit programs whose cases run in the 32-bit layer
for e in "${ALL_EXES[@]}"; do
  if why=$(runnable_exe "$e"); then
    EXES+=("$e")
  elif layer_why=$(i386_layer_why_not); then
    IN_LAYER+=("$e")
  else
    skip "every case of $e" "${why#"# skipped: $e is "}, and the 32-bit layer cannot run here: $layer_why"
  fi
done
((${#EXES[@]} + ${#IN_LAYER[@]} > 0)) || { echo "0 passed, 0 failed, $SKIPPED skipped"; exit 0; }

# The shim that lets libfaketime reach 32-bit Wine's clock (time64_shim.c), by $LIB: an empty one
# for 64-bit processes. Built here, outside the 32-bit layer, which has no compiler.
if [[ -z "${TIME64_SHIM:-}" ]]; then
  TIME64_SHIM=$BB_TMP/shim
  mkdir -p "$TIME64_SHIM/lib/i386-linux-gnu" "$TIME64_SHIM/lib/x86_64-linux-gnu"
  gcc -m32 -O2 -fPIC -shared -nostdlib -o "$TIME64_SHIM/lib/i386-linux-gnu/zv-time64.so" \
    "$HERE/time64_shim.c" 2>/dev/null &&
    gcc -x c -shared -nostdlib -o "$TIME64_SHIM/lib/x86_64-linux-gnu/zv-time64.so" - </dev/null 2>/dev/null ||
    TIME64_SHIM=
fi
export TIME64_SHIM

started=$SECONDS
# Only where a program runs here (the others run in the 32-bit layer).
if ((${#EXES[@]} > 0)); then
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
fi

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
((${#EXES[@]} > 0)) && each_exe run_cases
# Two builds side by side: one program, whichever build starts first (I386_PAIR: the other
# build, when the 32-bit layer runs this script for the 32-bit one alone).
if ((${#EXES[@]} >= 2)); then case_other_build_refused "${EXES[0]}" "${EXES[1]}"
elif [[ -n "${I386_PAIR:-}" && ( -z "${CASES:-}" || " $CASES " == *" second_copy "* ) ]]; then
  case_other_build_refused "${EXES[0]}" "$I386_PAIR"
fi
# Every build's packages, read whether or not its program runs here, and installed where it runs.
# (Those of the 32-bit layer are read and installed there.)
if [[ -z "${CASES:-}" || " $CASES " == *" packages "* ]]; then
  for e in "${ALL_EXES[@]}"; do
    [[ " ${IN_LAYER[*]} " == *" $e "* ]] || each_exe case_packages "$e"
  done
fi
# Last: each scale needs Wine's desktop made again.
[[ -z "${CASES:-}" || " $CASES " == *" scale "* ]] && ((${#EXES[@]} > 0)) && each_exe case_scale

for e in "${IN_LAYER[@]}"; do
  echo "# $e in the 32-bit layer (Wine's 32-bit half under qemu-i386)"
  if ! i386_layer_make; then
    skip "every case of $e" "the 32-bit layer's root could not be made (see above)"
    continue
  fi
  layer_started=$SECONDS
  pair=
  ((${#EXES[@]} > 0)) && pair=${EXES[-1]}
  i386_layer_run env WINPROBE="$WINPROBE" I386_PAIR="$pair" CASES="${CASES:-}" TIME64_SHIM="$TIME64_SHIM" \
    "$HERE/blackbox.sh" "$e" 2>&1 | tee "$BB_TMP/layer.out" | grep -v '^[0-9]* passed, [0-9]* failed'
  read -r p f k < <(awk '/^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$/ { print $1, $3, $5 }' "$BB_TMP/layer.out")
  if [[ -z "${p:-}" ]]; then
    not_ok "every case of $e" "the 32-bit layer's run ended without a count"
  else
    PASSED=$((PASSED + p)) FAILED=$((FAILED + f)) SKIPPED=$((SKIPPED + k))
  fi
  echo "# the 32-bit layer's run took $((SECONDS - layer_started)) s"
done

echo "# run time $((SECONDS - started)) s"
echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
((FAILED == 0))
