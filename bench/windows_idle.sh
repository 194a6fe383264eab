#!/usr/bin/env bash
# The Windows program idle under Wine in Xvfb, beside the plain 1-ms pause loop (pause_loop.exe),
# both running in the same prefix over the same span: wake-ups a second, the context switches of
# each process's threads summed (from /proc), CPU over the span, and then how many ms after each
# whole second began the seconds showed (winprobe lag). Under Wine every call to its server is a
# context switch, so the clock's wake-ups are counted as bursts of switches (wake_count, from
# NATIVE_BUILD) and the loop's as its own passes.
#
#   bench/windows_idle.sh NATIVE_BUILD WIN_BUILD... [-- SECONDS]
#       default 40 s; each WIN_BUILD holds zorvane.exe, pause_loop.exe and tests/winprobe.exe
#
# A 32-bit build runs in the 32-bit layer (tests/windows/i386_layer.sh) where this kernel runs no
# 32-bit programs: there its figures include qemu-i386's emulation.
set -u

HERE=$(cd "$(dirname "$0")" && pwd)
NATIVE=$(cd "${1:?usage: $0 NATIVE_BUILD WIN_BUILD... [-- SECONDS]}" && pwd)
shift
BUILDS=()
SPAN=40
while (($# > 0)); do
  if [[ $1 == -- ]]; then SPAN=${2:-40}; break; fi
  BUILDS+=("$(cd "$1" && pwd)")
  shift
done
((${#BUILDS[@]} > 0)) || { echo "usage: $0 NATIVE_BUILD WIN_BUILD... [-- SECONDS]" >&2; exit 2; }
# shellcheck source=../tests/windows/prefix.sh
source "$HERE/../tests/windows/prefix.sh"
# shellcheck source=../tests/windows/i386_layer.sh
source "$HERE/../tests/windows/i386_layer.sh"
# shellcheck source=lib.sh
source "$HERE/lib.sh"
bench_workdir wine-idle
trap 'bench_cleanup; wine_prefix_remove' EXIT

# counters PID: "context-switches cpu-ticks" of the process, its threads summed.
counters() {
  local switches=0 n task
  for task in /proc/"$1"/task/*; do
    for n in $(awk '/ctxt_switches/ { print $2 }' "$task/status" 2>/dev/null); do
      switches=$((switches + n))
    done
  done
  echo "$switches $(awk '{ print $14 + $15 }' "/proc/$1/stat")"
}

# measure BUILD: the figures of that build's program and the pause loop, here.
measure() {
  local build=$1 tag clock loop hwnd c0 l0 c1 l1 lags
  tag=$(basename "$build")
  wine_prefix_make "$WORK/prefix-$tag" 1280x1024
  local fd="$WORK/displayfd"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd" >/dev/null 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do [[ -s $fd ]] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$fd")
  wineserver -p
  # Settings stored, so no greeting waits for an answer.
  wine reg add 'HKCU\Software\Zorvane' /v Format /t REG_DWORD /d 1 /f >/dev/null 2>&1
  setsid wine "$build/zorvane.exe" >/dev/null 2>&1 &
  PIDS+=($!)
  setsid wine "$build/pause_loop.exe" >"$WORK/passes" 2>/dev/null &
  PIDS+=($!)
  hwnd=$(wine "$build/tests/winprobe.exe" wait Zorvane 20000 ZorvaneForm | cut -f1)
  for _ in $(seq 100); do
    clock=$(pgrep -x zorvane.exe | head -1)
    loop=$(pgrep -x pause_loop.exe | head -1)
    [[ -n "$clock" && -n "$loop" ]] && break
    sleep 0.1
  done
  if [[ -z "$hwnd" || -z "$clock" || -z "$loop" ]]; then
    echo "-- $tag: the programs did not start"
    return 1
  fi
  sleep 3  # past start-up
  local c0 ct0 l0 lt0 p0 c1 ct1 l1 lt1 p1 wakes hz
  read -r c0 ct0 <<<"$(counters "$clock")"
  read -r l0 lt0 <<<"$(counters "$loop")"
  p0=$(tail -1 "$WORK/passes" | tr -d "\r")
  wakes=$("$NATIVE/bench/wake_count" "$clock" "$SPAN" | cut -d' ' -f1)
  read -r c1 ct1 <<<"$(counters "$clock")"
  read -r l1 lt1 <<<"$(counters "$loop")"
  p1=$(tail -1 "$WORK/passes" | tr -d "\r")
  hz=$(getconf CLK_TCK)
  echo "-- $tag, idle over $SPAN s: wake-ups a second, context switches a second, CPU in ms"
  awk -v s="$SPAN" -v hz="$hz" -v w="$wakes" -v c="$((c1 - c0))" -v ct="$((ct1 - ct0))" \
    -v p="$((p1 - p0))" -v l="$((l1 - l0))" -v lt="$((lt1 - lt0))" 'BEGIN {
      printf "%-38s %8.2f %8.1f %8.0f\n", "zorvane.exe", w / s, c / s, ct * 1000 / hz
      printf "%-38s %8.1f %8.1f %8.0f\n", "the plain 1-ms pause (pause_loop.exe)", p / s, l / s, lt * 1000 / hz }'
  lags=$(wine "$build/tests/winprobe.exe" lag "$hwnd" 20 | tr -d '\r')
  echo "-- $tag, the new second shown after it began, over 20 s (ms; \"-\": a second not shown)"
  sort -n <<<"$lags" | awk '$1 == "-" { missed++; next } { v[++n] = $1 }
    END { printf "p50 %s  p99 %s  max %s  missed %d\n", v[int(n * 0.5 + 0.5)], v[int(n * 0.99 + 0.5)], v[n], missed }'
  wineserver -k
  wineserver -w
}

for build in "${BUILDS[@]}"; do
  if runnable_exe "$build/zorvane.exe" >/dev/null; then
    measure "$build"
  elif why=$(i386_layer_why_not) && i386_layer_make; then
    i386_layer_run "$0" "$NATIVE" "$build" -- "$SPAN"
  else
    echo "-- $(basename "$build"): cannot run here (${why:-its root could not be made})"
  fi
done
