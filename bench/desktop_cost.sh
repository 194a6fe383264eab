#!/usr/bin/env bash
# What the whole desktop pays for a clock: a Wayland compositor headless (sway with software
# rendering, or mutter's session) with its XWayland, running nothing, then `xclock -update 1`,
# then zorvane, in turn, for two rounds. Each figure is the scheduler run time of the compositor,
# its XWayland and the client together over the interval, minus what the idle desktop took over
# the round's own idle interval.
#
#   [DESKTOP=sway|mutter] bench/side_by_side.sh --desktop BUILD_DIR [SECONDS=40]
#
# Needs root (sway refuses it, so it runs as nobody through setpriv, and lets root's clients
# into its XWayland), the compositor, Xwayland and xclock. Nothing to do with the machine's own
# display.
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS=40]" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
DURATION=${2:-40}
ZORVANE=$BUILD_DIR/zorvane
WARMUP=3
DT_USER=65534
for tool in "${DESKTOP:-sway}" Xwayland xclock xhost setpriv; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
[ "$(id -u)" = 0 ] || { echo "run as root: sway runs as a second user, mutter as root" >&2; exit 2; }

# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
bench_workdir desktop-cost
mkdir -p "$WORK/rt" "$WORK/home/.config/zorvane"
chmod 700 "$WORK/rt"

start_sway() {
  printf '%s\n' 'xwayland enable' \
    'output HEADLESS-1 resolution 1280x1024 position 0 0 bg #336699 solid_color' \
    'default_border none' 'default_floating_border none' "exec env > $WORK/env" >"$WORK/config"
  chown -R "$DT_USER:$DT_USER" "$WORK/rt" "$WORK/config"
  chmod 733 "$WORK"   # sway's user writes env here
  setpriv --reuid "$DT_USER" --regid "$DT_USER" --clear-groups env -i PATH="$PATH" HOME="$WORK" \
    XDG_RUNTIME_DIR="$WORK/rt" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$WORK/config" >"$WORK/sway.log" 2>&1 &
  COMPOSITOR=$!
  PIDS+=("$COMPOSITOR")
  for _ in $(seq 200); do grep -q '^DISPLAY=' "$WORK/env" 2>/dev/null && break; sleep 0.1; done
  DISPLAY=$(sed -n 's/^DISPLAY=//p' "$WORK/env" 2>/dev/null)
  [ -n "$DISPLAY" ] || { echo "sway did not start:" >&2; tail -5 "$WORK/sway.log" >&2; exit 1; }
  export DISPLAY SWAYSOCK
  SWAYSOCK=$(sed -n 's/^SWAYSOCK=//p' "$WORK/env")
  setpriv --reuid "$DT_USER" --regid "$DT_USER" --clear-groups env -i PATH="$PATH" DISPLAY="$DISPLAY" \
    xhost +si:localuser:root >/dev/null
  # This sway's own XWayland (another session may run one for the same user); wlroots starts it
  # through a double fork, so it is known by its display, not as a child.
  XWAYLAND=$(pgrep -u "$DT_USER" -f "(^|/)Xwayland $DISPLAY( |\$)" | head -1)
  NAME="sway $(sway --version | awk '{ print $3 }') headless (pixman)"
}

# mutter's Wayland session, headless, with its XWayland (as root, which mutter allows).
start_mutter() {
  HOME=$WORK XDG_RUNTIME_DIR=$WORK/rt dbus-run-session -- mutter --wayland --headless \
    --virtual-monitor 1280x1024 --wayland-display=zorvane-bench >"$WORK/mutter.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 200); do
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$WORK/mutter.log" | head -1)
    [ -n "$DISPLAY" ] && ls "$WORK"/rt/.mutter-Xwaylandauth.* >/dev/null 2>&1 && break
    sleep 0.1
  done
  [ -n "$DISPLAY" ] || { echo "mutter did not start:" >&2; tail -5 "$WORK/mutter.log" >&2; exit 1; }
  export DISPLAY XAUTHORITY
  XAUTHORITY=$(ls "$WORK"/rt/.mutter-Xwaylandauth.* | head -1)
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  COMPOSITOR=$(pgrep -f "^mutter --wayland --headless .*--wayland-display=zorvane-bench" | head -1)
  # dbus-run-session leaves it running, and it outlives a plain TERM: ended on the way out.
  trap 'pkill -KILL -f "wayland-display=zorvane-bench"; bench_cleanup' EXIT
  XWAYLAND=$(pgrep -f "(^|/)Xwayland $DISPLAY( |\$)" | head -1)
  NAME="mutter $(mutter --version | awk '{ print $2; exit }') headless"
}

case "${DESKTOP:-sway}" in
  sway) start_sway ;;
  mutter) start_mutter ;;
  *) echo "DESKTOP is sway or mutter" >&2; exit 2 ;;
esac
[ -n "$COMPOSITOR" ] && [ -n "$XWAYLAND" ] || { echo "the desktop's XWayland is not running" >&2; exit 1; }

export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n\n' \
  >"$XDG_CONFIG_HOME/zorvane/settings.reg"

# Scheduler run time of every thread of the given processes, in nanoseconds.
run_ns() {
  local sum=0 p t
  for p in "$@"; do
    for t in /proc/"$p"/task/*; do sum=$((sum + $(cut -d' ' -f1 "$t/schedstat" 2>/dev/null || echo 0))); done
  done
  echo "$sum"
}
# measure [PID]: milliseconds of run time of the compositor, of XWayland and of PID over the
# interval.
measure() {
  local b=() a=() p
  for p in "$COMPOSITOR" "$XWAYLAND" "$@"; do b+=("$(run_ns "$p")"); done
  sleep "$DURATION"
  for p in "$COMPOSITOR" "$XWAYLAND" "$@"; do a+=("$(run_ns "$p")"); done
  awk -v a="${a[*]}" -v b="${b[*]}" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ");
    for (i = 1; i <= 3; i++) printf "%.1f ", (i <= n) ? (x[i] - y[i]) / 1e6 : 0
  }'
}
viewable() { xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# client NAME COMMAND...: "added compositor xwayland client" (ms): what the desktop took with it, minus
# the idle desktop's IDLE_COMP + IDLE_XW, then the three parts. The client is stopped after.
client() {
  local name=$1 pid i sw xw cl
  shift
  "$@" >"$WORK/client.log" 2>&1 &
  pid=$!
  for i in $(seq 100); do viewable "$name" && break; sleep 0.1; done
  viewable "$name" || { echo "$name did not show:" >&2; cat "$WORK/client.log" >&2; exit 1; }
  sleep "$WARMUP"
  read -r sw xw cl <<<"$(measure "$pid")"
  kill "$pid"
  wait "$pid" 2>/dev/null
  rm -f "$XDG_RUNTIME_DIR"/zorvane-*.lock
  sleep 1
  awk -v s="$sw" -v x="$xw" -v c="$cl" -v is="$IDLE_COMP" -v ix="$IDLE_XW" \
    'BEGIN { printf "%.1f %.1f %.1f %.1f", s + x + c - is - ix, s, x, c }'
}

echo "$NAME, XWayland on $DISPLAY; ${DURATION}-s intervals"
printf '%-5s %-16s %-28s %-28s %6s\n' round "idle desk+Xw ms" "xclock +ms (desk Xw client)" \
  "zorvane +ms (desk Xw client)" ratio
XS=() ZS=()
for round in 1 2; do
  sleep 2
  read -r IDLE_COMP IDLE_XW _ <<<"$(measure)"
  read -r X xs xx xc <<<"$(client xclock xclock -update 1)"
  read -r Z zs zx zc <<<"$(client Zorvane "$ZORVANE")"
  XS+=("$X") ZS+=("$Z")
  printf '%-5s %-16s %-28s %-28s %6s\n' "$round" "$IDLE_COMP+$IDLE_XW" "$X ($xs $xx $xc)" \
    "$Z ($zs $zx $zc)" "$(awk -v z="$Z" -v x="$X" 'BEGIN { printf "%.2f", (x > 0) ? z / x : 999 }')"
done
awk -v x="${XS[*]}" -v z="${ZS[*]}" 'BEGIN {
  n = split(x, a, " "); split(z, b, " ");
  for (i = 1; i <= n; i++) { sx += a[i]; sz += b[i] }
  printf "mean  %-16s %-28.1f %-28.1f %6.2f   (zorvane / xclock; the goal is at most 1)\n", "", sx / n, sz / n, (sx > 0) ? sz / sx : 999
}'
echo "+ms: run time of the compositor (desk), XWayland and the client together, minus the idle desktop's."
