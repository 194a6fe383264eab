#!/usr/bin/env bash
# What a storm of mounts costs the idle clock: zorvane's CPU and wake-ups (context switches)
# while another process mounts and unmounts a tmpfs in the clock's mount namespace as fast as it
# can, for one or two executables side by side (a baseline first, then the build's).
#
#   bench/mount_churn.sh BUILD_DIR [BASELINE_ZORVANE] [SECONDS=20]
#
# BUILD_DIR holds zorvane and tests/xprobe. Needs root (the clock runs in a private mount
# namespace, so the machine's own mounts are not touched), Xvfb, unshare, nsenter and timeout.
set -u

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 BUILD_DIR [BASELINE_ZORVANE] [SECONDS=20]" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
BASELINE=${2:-}
DURATION=${3:-20}
XPROBE=$BUILD_DIR/tests/xprobe
for f in "$BUILD_DIR/zorvane" "$XPROBE" ${BASELINE:+"$BASELINE"}; do
  [ -x "$f" ] || { echo "no executable $f" >&2; exit 2; }
done
for c in Xvfb unshare nsenter timeout; do
  command -v "$c" >/dev/null || { echo "$c is not installed" >&2; exit 2; }
done
[ "$(id -u)" = 0 ] || { echo "needs root for a private mount namespace" >&2; exit 2; }

# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
bench_workdir mount-churn

CLK_TCK=$(getconf CLK_TCK)
ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
switches() { awk '/ctxt_switches/ { n += $2 } END { print n }' "/proc/$1/status"; }

display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# measure NAME EXE: the clock in a mount namespace of its own; DURATION seconds of churn there.
measure() {
  local name=$1 exe=$2 home="$WORK/home-$RANDOM" pid t0 s0 t1 s1 pairs
  mkdir -p "$home/.config/zorvane" "$home/run" "$WORK/mnt"
  chmod 700 "$home/run"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n\n' \
    >"$home/.config/zorvane/settings.reg"
  # unshare execs the clock: its pid is the clock's.
  unshare -m --propagation private env -i PATH="$PATH" DISPLAY="$display" HOME="$home" \
    XDG_RUNTIME_DIR="$home/run" LC_ALL=C TZ=UTC "$exe" >/dev/null 2>&1 &
  pid=$!
  PIDS+=("$pid")
  DISPLAY=$display "$XPROBE" wait --title Zorvane --role Main --viewable --timeout 5000 >/dev/null ||
    { echo "$name: no clock shown" >&2; return 1; }
  sleep 2
  t0=$(ticks "$pid") s0=$(switches "$pid")
  nsenter -t "$pid" -m timeout "$DURATION" bash -c 'n=0; trap "echo \$n >$0; exit" TERM
    while :; do mount -t tmpfs none "$1" && umount "$1" && n=$((n + 1)); done' "$WORK/pairs" "$WORK/mnt"
  t1=$(ticks "$pid") s1=$(switches "$pid")
  pairs=$(cat "$WORK/pairs")
  kill "$pid"
  awk -v n="$name" -v p="$pairs" -v d="$DURATION" -v c=$((t1 - t0)) -v k="$CLK_TCK" -v w=$((s1 - s0)) \
    'BEGIN { printf "%-10s %6d mount/unmount pairs in %d s: %.2f s CPU, %d wake-ups\n", n, p, d, c / k, w }'
}

[ -n "$BASELINE" ] && measure baseline "$BASELINE"
measure build "$BUILD_DIR/zorvane"
