#!/usr/bin/env bash
# Makes docs/windows.png: the 32-bit Windows program with its Setup dialog, running under Wine on
# a private Xvfb, in a throw-away prefix (removed on exit); and docs/windows-scale.png: the clock
# at 100 % beside 200 % (LogPixels 192).
#   scripts/screenshot-windows.sh [EXE] [OUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$here/build-win32/zorvane.exe}")
outdir=${2:-$here/docs}
work=$(mktemp -d)
# shellcheck source=../tests/windows/prefix.sh
source "$here/tests/windows/prefix.sh"
xvfb=""
cleanup() {
  wine_prefix_remove
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export TZ=UTC
wine_prefix_make "$work/prefix" 800x600
reg() { DISPLAY= wine reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Control Panel\Colors' /v Background /d "58 90 130"
reg 'HKCU\Software\Zorvane' /v Format /t REG_DWORD /d 1
reg 'HKCU\Software\Zorvane' /v Mark /t REG_DWORD /d 1
reg 'HKCU\Software\Zorvane' /v Position /t REG_DWORD /d 1
wineserver -k || true; wineserver -w || true   # started without a display: the desktop would run headless

# start_desktop DPI WxH: Wine's desktop of that size at that dpi on a fresh Xvfb; the clock on it.
start_desktop() {
  [[ -n "$xvfb" ]] && { wineserver -k || true; wineserver -w || true; kill "$xvfb"; }
  reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1"
  reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2"
  wineserver -k || true; wineserver -w || true
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 "${2}x24" -dpi 96 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(cat "$work/display")"
  wine "$exe" >/dev/null 2>&1 &
  for _ in $(seq 200); do
    xwininfo -root -tree | grep -q '"Zorvane"' && break
    sleep 0.05
  done
  sleep 1.5
}

start_desktop 96 800x600
# Position 1 puts the clock at the desktop's top-left: the clock alone, then with its Setup dialog
# (a right click on the year tier), side by side.
import -window root -crop 320x250+0+0 +repage "$work/clock.png"
xdotool mousemove 150 210 click 3
sleep 1.5
import -window root -crop 420x310+0+0 +repage "$work/setup.png"
mkdir -p "$outdir"
convert "$work/clock.png" "$work/setup.png" -background '#3a5a82' -gravity north -splice 0x0 \
  +append "$outdir/windows.png"
start_desktop 192 1600x1200
import -window root -crop 640x500+0+0 +repage "$work/clock200.png"
convert "$work/clock.png" -size 12x500 xc:white "$work/clock200.png" -gravity north \
  -background white +append "$outdir/windows-scale.png"
echo "wrote $outdir/windows.png $outdir/windows-scale.png"
