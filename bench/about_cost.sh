#!/usr/bin/env bash
# What the About window costs while it is open, at 100 % and 200 % (Xft.dpi 96 and 192): CPU
# of zorvane and of the X server over a few seconds of the credits rolling in, for one or two
# executables side by side in the same run (a baseline first, then the build's).
#
#   bench/about_cost.sh BUILD_DIR [BASELINE_ZORVANE] [SECONDS=8]
#
# BUILD_DIR holds zorvane and tests/xprobe (it finds the windows). Needs Xvfb and xdotool. Each
# scale gets its own Xvfb of 1280 x 1024 logical pixels; every run a throw-away HOME, removed on exit. The About window closes
# itself 25 s after opening, so SECONDS is at most 20. DPIS="96 192 384" picks other scales.
set -u

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 BUILD_DIR [BASELINE_ZORVANE] [SECONDS=8]" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
BASELINE=${2:-}
DURATION=${3:-8}
XPROBE=$BUILD_DIR/tests/xprobe
for f in "$BUILD_DIR/zorvane" "$XPROBE" ${BASELINE:+"$BASELINE"}; do
  [ -x "$f" ] || { echo "no executable $f" >&2; exit 2; }
done
for c in Xvfb xdotool xrdb; do command -v "$c" >/dev/null || { echo "$c is not installed" >&2; exit 2; }; done

# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
bench_workdir about-cost

CLK_TCK=$(getconf CLK_TCK)
ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# measure NAME EXE DPI: starts the clock, opens Setup (right click) and About (its button), and
# prints the CPU both processes used while About stayed open.
measure() {
  local name=$1 exe=$2 dpi=$3 home="$WORK/home-$RANDOM" zpid clock x y w h setup about
  mkdir -p "$home/.config/zorvane" "$home/run"
  chmod 700 "$home/run"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n\n' \
    >"$home/.config/zorvane/settings.reg"
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/run "$exe" >"$home/log" 2>&1 &
  zpid=$!
  PIDS+=("$zpid")
  clock=$("$XPROBE" wait --title Zorvane --role Main --viewable --timeout 10000) || {
    echo "$name at $dpi dpi: no clock" >&2; kill "$zpid"; return; }
  read -r _ x y w h <<<"$("$XPROBE" geom "${clock%%$'\n'*}")"
  # Inside the triangle whatever the scale: its middle column, 200 of its 225 rows down (the X
  # window is the triangle's box).
  xdotool mousemove $((x + w / 2)) $((y + h * 200 / 225)) click 3
  setup=$("$XPROBE" wait --title Setup --role Config --viewable --timeout 5000) || {
    echo "$name at $dpi dpi: no Setup" >&2; kill "$zpid"; return; }
  read -r _ x y _ _ <<<"$("$XPROBE" geom "${setup%%$'\n'*}")"
  read -r cx cy cw ch _ <<<"$("$XPROBE" child "${setup%%$'\n'*}" Command2)"
  local c0 c1
  c0=$(date +%s%N)
  xdotool mousemove $((x + cx + cw / 2)) $((y + cy + ch / 2)) click 1
  about=$("$XPROBE" wait --role About --viewable --timeout 30000) || {
    echo "$name at $dpi dpi: no About" >&2; kill "$zpid"; return; }
  c1=$(date +%s%N)
  sleep 1
  local z0 s0 t0 z1 s1 t1
  z0=$(ticks "$zpid"); s0=$(ticks "$XVFB"); t0=$(date +%s%N)
  sleep "$DURATION"
  z1=$(ticks "$zpid"); s1=$(ticks "$XVFB"); t1=$(date +%s%N)
  "$XPROBE" find --role About --viewable >/dev/null || echo "$name at $dpi dpi: About closed early" >&2
  awk -v n="$name" -v d="$dpi" -v z="$((z1 - z0))" -v s="$((s1 - s0))" -v hz="$CLK_TCK" \
    -v t="$((t1 - t0))" -v o="$((c1 - c0))" 'BEGIN { secs = t / 1e9
      printf "%-10s %5s %9.0f %12.2f %12.2f\n", n, d, o / 1e6, z * 100 / hz / secs, s * 100 / hz / secs }'
  kill "$zpid"
  wait "$zpid" 2>/dev/null
}

printf '%-10s %5s %9s %12s %12s\n' build dpi "open ms" "zorvane %" "Xvfb %"
for dpi in ${DPIS:-96 192}; do
  # A screen of 1280 x 1024 logical pixels at each scale, as the black-box scale groups use.
  Xvfb -displayfd 3 -screen 0 "$((1280 * dpi / 96))x$((1024 * dpi / 96))x24" -dpi 96 -nolisten tcp -noreset \
    3>"$WORK/display" 2>"$WORK/xvfb.log" &
  XVFB=$!
  PIDS+=("$XVFB")
  for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$WORK/display")"
  printf 'Xft.dpi:\t%s\n' "$dpi" | xrdb -nocpp -merge
  [ -n "$BASELINE" ] && measure baseline "$BASELINE" "$dpi"
  measure build "$BUILD_DIR/zorvane" "$dpi"
  kill "$XVFB"
  wait "$XVFB" 2>/dev/null
  : >"$WORK/display"
done
echo "open ms = click on About to its window viewable (xprobe polls, so a few ms high);"
echo "% = share of one core over ${DURATION} s with About open (from 1 s after it showed)."
