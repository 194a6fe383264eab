#!/usr/bin/env bash
# Runs zorvane, `xclock -update 1` and a bare 64-per-second wake-up loop (bench/wake_floor) side
# by side on one private Xvfb and prints what each costs:
# CPU, wake-ups (voluntary context switches), resident memory, the X server's CPU over the same
# interval, how soon after each wall-clock second zorvane's seconds cell changes its caption
# (bench/caption_watch), and zorvane's start-to-window time (median of 5 starts).
#
#   bench/side_by_side.sh BUILD_DIR [SECONDS=60]
#
# BUILD_DIR holds the zorvane executable and, when built, bench/start_to_map (the precise
# start timer; without it a slower xwininfo poll is used) and bench/caption_watch (without it
# the caption's delay is not measured); CAPTION_WATCH=path picks another caption_watch. Needs Xvfb; xclock is optional.
# A11Y_BUS=1 runs everything on a private session bus with the accessibility bus on it (dbus,
# at-spi2-core), as on a desktop with screen-reader support where no reader is listening.
# Everything runs with a throw-away HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR, removed on exit.
#
#   bench/side_by_side.sh --desktop BUILD_DIR [SECONDS=40]
#
# measures instead what the whole desktop (sway headless and its XWayland) pays for zorvane and
# for xclock, in turn: bench/desktop_cost.sh.
set -u

if [ "${1:-}" = --desktop ]; then
  shift
  exec "$(dirname "$0")/desktop_cost.sh" "$@"
fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS=60]" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd) || exit 2
DURATION=${2:-60}   # not SECONDS: bash gives that name a meaning of its own
ZORVANE=$BUILD_DIR/zorvane
HELPER=$BUILD_DIR/bench/start_to_map
WATCH=${CAPTION_WATCH:-$BUILD_DIR/bench/caption_watch}
STARTS=5
WARMUP=2

if [ ! -x "$ZORVANE" ]; then echo "no executable $ZORVANE" >&2; exit 2; fi
if ! command -v Xvfb >/dev/null; then echo "Xvfb is not installed (package xvfb)" >&2; exit 2; fi
HAVE_XCLOCK=1
if ! command -v xclock >/dev/null; then
  echo "note: xclock is not installed (package x11-apps); measuring zorvane alone"
  HAVE_XCLOCK=0
fi

# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
bench_workdir side-by-side

now_ns() { date +%s%N; }

# ---- X server ----
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset \
  3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB=$!
PIDS+=("$XVFB")
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
if [ ! -s "$WORK/display" ]; then echo "Xvfb did not start:" >&2; cat "$WORK/xvfb.log" >&2; exit 1; fi
export DISPLAY=":$(head -n1 "$WORK/display")"

# ---- throw-away user folders; Format = 1 so no greeting box appears ----
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_CONFIG_HOME/zorvane" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n\n' \
  >"$XDG_CONFIG_HOME/zorvane/settings.reg"
remove_lock() { rm -f "$XDG_RUNTIME_DIR"/zorvane-*.lock; }

# ---- the accessibility bus, when asked for ----
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
if [ "${A11Y_BUS:-0}" = 1 ]; then
  dbus-daemon --session --nofork --print-address=1 >"$WORK/bus" 2>/dev/null &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$WORK/bus" ] && break; sleep 0.05; done
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$WORK/bus")
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 && break
    sleep 0.05
  done
  echo "Accessibility bus up on $DBUS_SESSION_BUS_ADDRESS"
fi

# 0 when a viewable window with this exact title exists.
viewable() { xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
wait_viewable() {  # title, timeout in tenths of a second
  local i
  for ((i = 0; i < $2; i++)); do viewable "$1" && return 0; sleep 0.1; done
  return 1
}

# ---- start to mapped window ----
echo "Display $DISPLAY; start-to-window of zorvane, $STARTS starts..."
START_MS=()
for ((i = 1; i <= STARTS; i++)); do
  if [ -x "$HELPER" ]; then
    out=$("$HELPER" Zorvane 10000 "$ZORVANE")
    rc=$?
    if [ $rc -ne 0 ]; then echo "  start $i: $out" >&2; remove_lock; continue; fi
    ms=${out#ms=}; ms=${ms%% *}
    echo "  start $i: ${ms} ms (window ${out##*size=})"
  else
    # Each poll costs a fork and exec of xwininfo (a few ms): figures are a little high.
    while viewable Zorvane; do sleep 0.05; done
    t0=$(now_ns)
    "$ZORVANE" >/dev/null 2>&1 &
    zp=$!
    until viewable Zorvane; do
      kill -0 "$zp" 2>/dev/null || break
      (( ($(now_ns) - t0) > 10000000000 )) && break
    done
    t1=$(now_ns)
    kill "$zp" 2>/dev/null; wait "$zp" 2>/dev/null
    ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", (b - a) / 1e6 }')
    echo "  start $i: ${ms} ms (xwininfo poll)"
  fi
  START_MS+=("$ms")
  remove_lock
done
MEDIAN_START=n/a
if [ ${#START_MS[@]} -gt 0 ]; then
  MEDIAN_START=$(printf '%s\n' "${START_MS[@]}" | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
fi

# ---- side by side ----
"$ZORVANE" >"$WORK/zorvane.log" 2>&1 &
ZPID=$!
PIDS+=("$ZPID")
CPID=
if [ $HAVE_XCLOCK = 1 ]; then
  xclock -update 1 >"$WORK/xclock.log" 2>&1 &
  CPID=$!
  PIDS+=("$CPID")
fi
FPID=
if [ -x "$BUILD_DIR/bench/wake_floor" ]; then
  "$BUILD_DIR/bench/wake_floor" &
  FPID=$!
  PIDS+=("$FPID")
fi
wait_viewable Zorvane 100 || { echo "zorvane's window did not show" >&2; cat "$WORK/zorvane.log" >&2; exit 1; }
if [ "${A11Y_BUS:-0}" = 1 ]; then
  echo "zorvane's sockets (X and the accessibility bus): $(find "/proc/$ZPID/fd" -lname 'socket:*' | wc -l)"
fi
if [ -n "$CPID" ]; then wait_viewable xclock 100 || { echo "xclock's window did not show" >&2; exit 1; }; fi
sleep "$WARMUP"

CLK_TCK=$(getconf CLK_TCK)
# One line per process: utime+stime (ticks), run time from schedstat (ns), voluntary and
# involuntary context switches (all threads summed).
snapshot() {
  local pid=$1 ticks ns=0 vol=0 invol=0 t
  ticks=$(sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')
  for t in /proc/"$pid"/task/*; do
    ns=$((ns + $(cut -d' ' -f1 "$t/schedstat")))
    vol=$((vol + $(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")))
    invol=$((invol + $(awk '/^nonvoluntary_ctxt_switches/ { print $2 }' "$t/status")))
  done
  echo "$ticks $ns $vol $invol"
}
memory_kb() { awk -v k="$2" '$1 == k":" { print $2 }' "/proc/$1/status"; }

NAMES=(zorvane)
PROCS=("$ZPID")
if [ -n "$CPID" ]; then NAMES+=("xclock -update 1"); PROCS+=("$CPID"); fi
# 64 bare timer wake-ups a second and nothing else: what a pause on the Windows timer grid costs
# at the least, for comparison.
if [ -n "$FPID" ]; then NAMES+=("64 bare wake-ups/s"); PROCS+=("$FPID"); fi
NAMES+=("Xvfb (serves both)"); PROCS+=("$XVFB")
[ -z "$CPID" ] && NAMES[-1]="Xvfb"

echo "Measuring for ${DURATION} s after a ${WARMUP}-s warm-up..."
declare -A BEFORE AFTER
WATCH_PID=
if [ -x "$WATCH" ]; then
  "$WATCH" "$DURATION" >"$WORK/watch.out" 2>&1 &
  WATCH_PID=$!
  PIDS+=("$WATCH_PID")
  sleep 0.5  # let it find the cell before the interval starts
fi
for p in "${PROCS[@]}"; do BEFORE[$p]=$(snapshot "$p"); done
T0=$(now_ns)
sleep "$DURATION"
for p in "${PROCS[@]}"; do
  if [ ! -d "/proc/$p" ]; then echo "process $p ended during the run" >&2; exit 1; fi
  AFTER[$p]=$(snapshot "$p")
done
T1=$(now_ns)

ZWINDOWS=$(xwininfo -root -children | grep -c '"Zorvane"')
WATCHED=
if [ -n "$WATCH_PID" ]; then
  wait "$WATCH_PID"
  WATCHED=$(cat "$WORK/watch.out")
fi

echo
printf 'Interval %.2f s on %s, %d CPUs\n' "$(awk -v a="$T0" -v b="$T1" 'BEGIN { print (b - a) / 1e9 }')" \
  "$DISPLAY" "$(nproc)"
printf '%-20s %9s %8s %10s %9s %9s %9s %9s\n' process "CPU ms" "% core" "run ms" wakeups/s \
  invol/s "RSS MiB" "HWM MiB"
declare -A RESULT
for i in "${!PROCS[@]}"; do
  p=${PROCS[$i]}
  line=$(awk -v b="${BEFORE[$p]}" -v a="${AFTER[$p]}" -v t0="$T0" -v t1="$T1" -v hz="$CLK_TCK" \
    -v rss="$(memory_kb "$p" VmRSS)" -v hwm="$(memory_kb "$p" VmHWM)" '
    BEGIN {
      split(b, x, " "); split(a, y, " ");
      secs = (t1 - t0) / 1e9;
      cpu = (y[1] - x[1]) * 1000 / hz;
      printf "%.0f %.3f %.1f %.1f %.1f %.2f %.2f", cpu, cpu / 10 / secs, (y[2] - x[2]) / 1e6,
        (y[3] - x[3]) / secs, (y[4] - x[4]) / secs, rss / 1024, hwm / 1024
    }')
  RESULT[$i]=$line
  read -r cpu pct run wake invol rss hwm <<<"$line"
  printf '%-20s %9s %8s %10s %9s %9s %9s %9s\n' "${NAMES[$i]}" "$cpu" "$pct" "$run" "$wake" \
    "$invol" "$rss" "$hwm"
done
echo
echo "CPU ms = utime+stime (${CLK_TCK} ticks/s, so 10-ms steps); run ms = scheduler run time (ns exact)."
echo "wakeups/s = voluntary context switches a second; RSS and HWM at the end of the run."
echo "zorvane start to viewable window: median ${MEDIAN_START} ms of ${#START_MS[@]} (${START_MS[*]})"
[ "$ZWINDOWS" -ne 1 ] && echo "warning: $ZWINDOWS top-level windows are titled Zorvane (a message box?)"

[ -n "$WATCHED" ] && echo "zorvane's seconds cell: $WATCHED"

# Targets for zorvane. CPU is compared by scheduler run time: at 100 ticks a second, xclock's
# minute of CPU is one or two ticks.
read -r cpu pct run wake invol rss hwm <<<"${RESULT[0]}"
verdict() { awk -v v="$1" -v max="$2" 'BEGIN { print (v <= max) ? "ok" : "MISSED" }'; }
echo
echo "zorvane against its targets:"
printf '  wake-ups   %8s /s  (at most 1.2)    %s\n' "$wake" "$(verdict "$wake" 1.2)"
if [ -n "$CPID" ]; then
  read -r _ _ xrun _ <<<"${RESULT[1]}"
  ratio=$(awk -v a="$run" -v b="$xrun" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 999 }')
  printf '  CPU        %8s x   xclock'"'"'s run time (at most 2)  %s\n' "$ratio" "$(verdict "$ratio" 2)"
else
  printf '  CPU        %8s %%   (no xclock to compare with)\n' "$pct"
fi
printf '  RSS        %8s MiB (at most 8)      %s\n' "$rss" "$(verdict "$rss" 8)"
if [ -n "$WATCHED" ]; then
  p99=$(sed -n 's/.*late_p99_ms=\([0-9.]*\).*/\1/p' <<<"$WATCHED")
  printf '  second p99 %8s ms  (at most 2)      %s\n' "$p99" "$(verdict "${p99:-999}" 2)"
fi
if [ "$MEDIAN_START" != n/a ]; then
  printf '  start      %8s ms  (under 100)      %s\n' "$MEDIAN_START" "$(verdict "$MEDIAN_START" 99.999)"
fi
