#!/usr/bin/env bash
# Makes the README's pictures under a private Xvfb, at a fixed instant: docs/clock.png (the
# clock), docs/setup.png (its Setup dialog), docs/about.png (the About window over it) and
# docs/scale.png (the clock on a desktop at 100 % beside one at 200 %, Xft.dpi 192).
#   scripts/screenshot.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
outdir=${2:-$here/docs}
work=$(mktemp -d)
pids=()
cleanup() {
  # The clock first, so it does not report the X server going away.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pkill -P "${pids[i]}" 2>/dev/null || true  # faketime runs the clock as its child
    kill "${pids[i]}" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
# A soft desktop colour so the triangle's outline shows.
convert -size 800x600 gradient:'#5a7fa8-#27405e' "$work/desk.png"
display -window root "$work/desk.png" 2>/dev/null || true

# start_clock RUNTIME_DIR SETTLE_SECONDS: the clock, frozen at the pictures' instant, on the
# current display; returns once it shows and has settled.
start_clock() {
  mkdir -p "$work/$1"
  chmod 700 "$work/$1"
  HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/$1 LC_ALL=C \
    DONT_FAKE_MONOTONIC=1 faketime -f '2026-12-08 14:37:25' "$build/zorvane" &
  pids+=($!)
  for _ in $(seq 100); do
    xwininfo -name Zorvane 2>/dev/null | grep -q IsViewable && break
    sleep 0.05
  done
  sleep "$2"
}

mkdir -p "$work/config/zorvane"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n"Mark"=dword:00000001\n"Position"=dword:00000000\n\n' \
  >"$work/config/zorvane/settings.reg"
start_clock run 0.5
geom=$(xwininfo -name Zorvane | awk '/Absolute upper-left X/{x=$NF}/Absolute upper-left Y/{y=$NF}END{print x" "y}')
read -r x y <<<"$geom"
mkdir -p "$outdir"
import -window root -crop "320x245+$((x - 10))+$((y - 10))" +repage "$outdir/clock.png"

# A right click on the year tier opens the Setup dialog beside the clock's corner.
xdotool mousemove $((x + 150)) $((y + 22 + 184)) click 3
sleep 0.8
import -window root -crop "330x300+$((x - 10))+$((y - 10))" +repage "$outdir/setup.png"

# Its About button: the About window over the dialog, once all the credits have risen.
xdotool mousemove $((x + 73 + 3 + 30 + 30)) $((y + 40 + 22 + 94 + 10)) click 1
sleep 9.8
import -window root -crop "480x400+$((x + 73 + 115 - 240))+$((y + 40 + 88 - 200))" +repage "$outdir/about.png"

# The same desktop at 200 %: a second server twice the size, Xft.dpi 192 in its resources.
exec 4>"$work/display2"
Xvfb -displayfd 4 -screen 0 1600x1200x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display2" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display2")"
printf 'Xft.dpi:\t192\n' | xrdb -nocpp -merge
convert -size 1600x1200 gradient:'#5a7fa8-#27405e' "$work/desk2.png"
display -window root "$work/desk2.png" 2>/dev/null || true
start_clock run2 0.8
# The centre spot of a 800 x 600 logical screen: twice the first clock's place.
import -window root -crop "640x490+$((2 * x - 20))+$((2 * y - 20))" +repage "$work/clock200.png"
convert "$outdir/clock.png" -background '#3d5878' -gravity center -extent 320x490 "$work/clock100.png"
convert "$work/clock100.png" -size 12x490 xc:white "$work/clock200.png" +append "$outdir/scale.png"
echo "wrote $outdir/clock.png $outdir/setup.png $outdir/about.png $outdir/scale.png"
