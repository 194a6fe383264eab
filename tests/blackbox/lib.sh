# Shared functions of the black-box tests. Sourced by run.sh; needs BUILD_DIR and BB_TMP set.
#
# Conventions: times are milliseconds unless a name says otherwise; window ids are 0x-hex as
# printed by xprobe; coordinates are pixels relative to the root unless noted.

XPROBE="$BUILD_DIR/tests/xprobe"
WLPOINTER="$BUILD_DIR/tests/wlpointer"
ZORVANE="$BUILD_DIR/zorvane"

PASSED=0
FAILED=0
SKIPPED=0
XFAILED=0
BB_PIDS=()   # every process (and its process group) we started, ended on exit
CASE_NO=0
WM_TAG=""    # "[no wm]" or "[openbox]", appended to check names

# ---------------------------------------------------------------- reporting

ok()     { PASSED=$((PASSED + 1)); echo "ok - $1"; }
not_ok() { FAILED=$((FAILED + 1)); echo "not ok - $1: $2"; }
# skip NAME WHY: a case that cannot run here; counted apart, never as passed.
skip()   { SKIPPED=$((SKIPPED + 1)); echo "skip - $1: $2"; }

# check NAME EXPECTED ACTUAL: passes when the two strings are equal. With KNOWN_BUG set (e.g.
# `KNOWN_BUG="why" check ...`) the check is one marked as a known program bug: see xfail_check.
check() {
  if [[ -n "${KNOWN_BUG:-}" ]]; then
    xfail_check "$KNOWN_BUG" "$@"
  elif [[ "$2" == "$3" ]]; then ok "$1"; else not_ok "$1" "expected '$2', got '$3'"; fi
}

# check_true NAME DETAIL COMMAND...: passes when the command succeeds; DETAIL explains a failure.
check_true() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then ok "$name"; else not_ok "$name" "$detail"; fi
}

# Known program bugs. A check marked with xfail_check still runs: while it fails it is reported
# as "not ok ... # TODO" and not counted as failed; once the program is fixed it passes with a note
# to remove the mark. Usage: xfail_check "why" NAME EXPECTED ACTUAL
xfail_check() {
  local why=$1 name=$2
  if [[ "$3" == "$4" ]]; then
    PASSED=$((PASSED + 1))
    echo "ok - $name # TODO marked as a known bug ($why) but passed: remove the mark"
  else
    XFAILED=$((XFAILED + 1))
    echo "not ok - $name: expected '$3', got '$4' # TODO known bug: $why"
  fi
}

# Known program bugs, one variable each, named in the checks they make fail (search for the name).
# (Add BUG_NAME='what goes wrong' here and pass it to the checks it breaks.)

# setup_failed WHY: the run cannot start; reported as one failed check, and the script ends.
setup_failed() {
  echo "not ok - set-up: $1"
  echo "0 passed, 1 failed"
  exit 1
}

# require TOOL... -- FILE...: ends the run (setup_failed) unless every tool is on PATH and every
# file exists.
require() {
  local missing=() f files=0
  for f in "$@"; do
    if [[ "$f" == -- ]]; then files=1
    elif ((files)); then [[ -f "$f" ]] || missing+=("$f")
    else command -v "$f" >/dev/null || missing+=("$f"); fi
  done
  ((${#missing[@]} == 0)) || setup_failed "missing ${missing[*]}"
}

# ---------------------------------------------------------------- processes

# spawn LOGPREFIX COMMAND...: runs the command in the background in its own process group (so a
# wrapper such as faketime and its child end together); sets SPAWNED to its pid. setsid does not
# fork here (a background job of a non-interactive shell is no group leader), so the pid is the
# program's own and `wait` returns its exit status.
spawn() {
  local log=$1
  shift
  setsid "$@" >"$log.out" 2>"$log.err" &
  SPAWNED=$!
  BB_PIDS+=("$SPAWNED")
}

# alive PID: true while the process runs (a zombie counts as ended).
alive() {
  local state
  [[ -r /proc/$1/stat ]] || return 1
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ -n "$state" && "$state" != Z ]]
}

# wait_exit PID MS: true when the process ended within MS; then EXIT_STATUS holds its status.
wait_exit() {
  local pid=$1 left=$2
  while alive "$pid"; do
    ((left <= 0)) && return 1
    sleep 0.02
    left=$((left - 20))
  done
  wait "$pid" 2>/dev/null
  EXIT_STATUS=$?
  forget "$pid"
  return 0
}

# forget PID: drops a reaped process from BB_PIDS; its pid may now be reused by anybody.
forget() {
  local kept=() p
  for p in "${BB_PIDS[@]}"; do [[ "$p" == "$1" ]] || kept+=("$p"); done
  BB_PIDS=("${kept[@]}")
}

# stop PID: ends a spawned process and its process group. Members other than the leader go
# first: a wrapper such as faketime then sees its child end and removes its shared-memory files
# (/dev/shm/faketime_*) before exiting; killed itself, it would leave them behind, and a later
# faketime that happens to get the same pid fails with "sem_open: File exists".
stop() {
  local pid=$1 members
  [[ -n "$pid" ]] || return 0
  members=$(pgrep -g "$pid" 2>/dev/null | grep -vx "$pid")
  [[ -n "$members" ]] && kill -TERM $members 2>/dev/null
  if [[ -n "$members" ]] && wait_exit "$pid" 2000; then return 0; fi
  kill -TERM -- "-$pid" 2>/dev/null
  kill -TERM "$pid" 2>/dev/null
  if ! wait_exit "$pid" 2000; then
    kill -KILL -- "-$pid" 2>/dev/null
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    forget "$pid"
  fi
  return 0
}

# stop_all: every spawned process not yet reaped, newest first (programs before the window
# manager and the X server they use).
stop_all() {
  local i pids=("${BB_PIDS[@]}")
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    if alive "${pids[i]}"; then stop "${pids[i]}"; else wait "${pids[i]}" 2>/dev/null; fi
  done
  BB_PIDS=()
}

# ---------------------------------------------------------------- X server and window manager

# start_x: a fresh Xvfb on a free display number (chosen by the server via -displayfd), of
# XVFB_SCREEN's size (1280x1024x24 when unset); sets DISPLAY and XVFB_PID. -noreset keeps the
# server (and a painted root, and the monitors a test defines) when the last client leaves.
start_x() {
  local fdfile="$BB_TMP/displayfd.$RANDOM$RANDOM" left=10000
  : >"$fdfile"
  setsid Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -dpi 96 -nolisten tcp -noreset -br \
    3>"$fdfile" >"$BB_TMP/xvfb.log" 2>&1 &
  XVFB_PID=$!
  BB_PIDS+=("$XVFB_PID")
  # The display number is written with a trailing newline once the server accepts clients.
  until (($(wc -l <"$fdfile") >= 1)); do
    if ((left <= 0)) || ! alive "$XVFB_PID"; then
      echo "# Xvfb did not start: $(tail -3 "$BB_TMP/xvfb.log")" >&2
      return 1
    fi
    sleep 0.02
    left=$((left - 20))
  done
  export DISPLAY=":$(head -1 "$fdfile" | tr -d ' \n')"
  rm -f "$fdfile"
}

stop_x() { stop "$XVFB_PID"; XVFB_PID=""; }

# start_wm: openbox with a throw-away home; waits until it announces itself on the root and
# manages windows (see xprobe wait-wm).
start_wm() {
  local home="$BB_TMP/wm-home.$RANDOM"
  mkdir -p "$home"
  spawn "$home/openbox" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_CACHE_HOME="$home/.cache" openbox --sm-disable
  WM_PID=$SPAWNED
  "$XPROBE" wait-wm 10000
}

# ---------------------------------------------------------------- one case's environment

# new_env: a throw-away HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR (mode 700); sets ENV_DIR.
new_env() {
  CASE_NO=$((CASE_NO + 1))
  ENV_DIR="$BB_TMP/case$CASE_NO"
  mkdir -p "$ENV_DIR/home" "$ENV_DIR/config" "$ENV_DIR/runtime"
  chmod 700 "$ENV_DIR/runtime"
  SETTINGS="$ENV_DIR/config/zorvane/settings.reg"
  # A window titled "Zorvane" left over from an earlier case would make the next copy refuse to
  # start (it searches for that title): make sure the screen is clean.
  if [[ -n "${DISPLAY:-}" ]] && ! wait_for 3000 no_zorvane_windows; then
    not_ok "clean screen before case $CASE_NO $WM_TAG" \
      "windows titled Zorvane still there: $("$XPROBE" find --title Zorvane | xargs)"
  fi
}

no_zorvane_windows() { [[ "$("$XPROBE" count --title Zorvane)" == 0 ]]; }

# write_settings LINE...: the settings file with the given value lines, e.g. '"Format"=dword:00000001'.
write_settings() {
  mkdir -p "$(dirname "$SETTINGS")"
  {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n'
    local line
    for line in "$@"; do printf '%s\n' "$line"; done
    printf '\n'
  } >"$SETTINGS"
}

# clock_env: sets CLOCK_ENV, the environment a copy of the program runs with (nothing inherited
# but PATH and DISPLAY). English names and UTC make captions predictable. CONFIG_MODE=empty or
# unset leaves XDG_CONFIG_HOME empty or out, so the program falls back to $HOME/.config.
clock_env() {
  # SIGINT at its default, as from a terminal: a shell's background job starts with it ignored.
  CLOCK_ENV=(env -i --default-signal=INT PATH="$PATH" DISPLAY="${DISPLAY:-}" HOME="$ENV_DIR/home"
    XDG_RUNTIME_DIR="$ENV_DIR/runtime" LC_ALL=C TZ=UTC)
  # A session bus (with a screen reader's bus on it) only where a case made one.
  [[ -n "${CLOCK_BUS:-}" ]] && CLOCK_ENV+=(DBUS_SESSION_BUS_ADDRESS="$CLOCK_BUS")
  # The accessibility bus's address itself, where a case names one.
  [[ -n "${CLOCK_A11Y:-}" ]] && CLOCK_ENV+=(AT_SPI_BUS_ADDRESS="$CLOCK_A11Y")
  # A desktop's X server that asks for a cookie (mutter's XWayland).
  [[ -n "${XAUTHORITY:-}" ]] && CLOCK_ENV+=(XAUTHORITY="$XAUTHORITY")
  # sway's command socket, as sway gives it to the programs of its session.
  [[ -n "${SWAYSOCK:-}" ]] && CLOCK_ENV+=(SWAYSOCK="$SWAYSOCK")
  case "${CONFIG_MODE:-set}" in
    set) CLOCK_ENV+=(XDG_CONFIG_HOME="$ENV_DIR/config") ;;
    empty) CLOCK_ENV+=(XDG_CONFIG_HOME=) ;;
    unset) ;;
  esac
}

# start_clock [LOGNAME]: starts the program in the current environment; sets CLOCK_PID.
start_clock() {
  clock_env
  spawn "$ENV_DIR/${1:-clock}" "${CLOCK_ENV[@]}" "$ZORVANE"
  CLOCK_PID=$SPAWNED
}

# start_clock_at 'YYYY-MM-DD hh:mm:ss': the same with the wall clock frozen at that instant (UTC).
# The program paces itself on the monotonic clock, which must keep running (DONT_FAKE_MONOTONIC).
# With a frozen instant the face never changes after the first pass, which is all the checks
# need; the pause still wakes once a second on its relative timer.
start_clock_at() {
  clock_env
  spawn "$ENV_DIR/clock" "${CLOCK_ENV[@]}" DONT_FAKE_MONOTONIC=1 faketime -f "$1" "$ZORVANE"
  CLOCK_PID=$SPAWNED
}

# ---------------------------------------------------------------- windows

# shown_clock: waits up to 5 s for the clock this case started (CLOCK_PID); sets CLOCK and
# CLIENT. False, after reporting T's failure and ending the program, when none shows.
shown_clock() {
  if CLOCK=$(wait_clock 5000) && CLIENT=$(client_of "$CLOCK") && [[ -n "$CLIENT" ]]; then return 0; fi
  not_ok "$t: clock shown" "no viewable clock within 5 s ($(head -c 200 "$ENV_DIR/clock.err" 2>/dev/null))"
  stop "$CLOCK_PID"
  return 1
}

# wait_clock [MS]: waits for the viewable clock window; prints its id.
wait_clock() {
  "$XPROBE" wait --title Zorvane --role Main --viewable --timeout "${1:-5000}"
}

# wait_msgbox [MS]: waits for a viewable message box (title "Zorvane", an "OK" child); prints its id.
wait_msgbox() {
  "$XPROBE" wait --title Zorvane --child-name OK --viewable --timeout "${1:-5000}"
}

# msgbox_text WIN: the WM_NAME of the box's child that is neither empty nor "OK".
msgbox_text() {
  "$XPROBE" children "$1" | awk -F'\t' '$8 != "" && $8 != "OK" { print $8 }'
}

# client_of WIN: id of the clock's client area (role Main.client).
client_of() {
  "$XPROBE" children "$1" | awk -F'\t' '$2 == "Main.client" { print $1; exit }'
}

# cells CLIENT: "role<TAB>caption<TAB>x<TAB>map" of every control, x relative to the client.
cells() {
  "$XPROBE" children "$1" | awk -F'\t' '{ print $2 "\t" $8 "\t" $4 "\t" $3 }'
}

# win_xy WIN: "x y" of the window's outer top-left on the root.
win_xy() {
  "$XPROBE" geom "$1" | awk '{ print $2, $3 }'
}

# ---------------------------------------------------------------- screenshots

# shot FILE: the whole screen as an 8-bit PNG.
shot() { import -window root -depth 8 "$1" 2>/dev/null; }

# pixels FILE X Y [X Y ...]: "r,g,b" (0-255) of each point, one per line. fx gives plain numbers
# where %[pixel:] would sometimes print colour names.
pixels() {
  local file=$1 fmt=""
  shift
  while (($# >= 2)); do
    fmt+="%[fx:int(255*p{$1,$2}.r+.5)],%[fx:int(255*p{$1,$2}.g+.5)],%[fx:int(255*p{$1,$2}.b+.5)]\n"
    shift 2
  done
  # A screenshot that could not be taken reads as its own name, so two of them never match.
  convert "$file" -format "$fmt" info: 2>/dev/null || echo "unreadable:$file"
}

# ---------------------------------------------------------------- small waits and input

# wait_for MS COMMAND...: polls the command every 20 ms until it succeeds; false on time-out. MS
# counts the pauses only, so a slow command stretches the wait (kinder on a loaded machine).
wait_for() {
  local left=$1
  shift
  until "$@"; do
    ((left <= 0)) && return 1
    sleep 0.02
    left=$((left - 20))
  done
}

# settled MS CMD...: CMD's output once it has stayed the same for 0.3 s (a window manager's
# move after the map, a repaint), waiting up to MS for that; printed either way.
settled() {
  local left=$1 last now same=0
  shift
  last=$("$@")
  while ((left > 0 && same < 300)); do
    sleep 0.05
    left=$((left - 50))
    now=$("$@")
    if [[ "$now" == "$last" ]]; then same=$((same + 50)); else same=0 last=$now; fi
  done
  printf '%s\n' "$last"
}

# at_xy WIN "X Y": true when the window's outer top-left is there.
at_xy() { [[ "$(win_xy "$1")" == "$2" ]]; }

# click_named TOP NAME: clicks button 1 in the middle of TOP's descendant whose WM_NAME is NAME.
click_named() {
  local id geo
  id=$("$XPROBE" children "$1" | awk -F'\t' -v n="$2" '$8 == n { print $1; exit }')
  [[ -n "$id" ]] || return 1
  geo=$("$XPROBE" geom "$id") || return 1
  set -- $geo
  xdotool mousemove $(($2 + $4 / 2)) $(($3 + $5 / 2)) click 1
}

# count_clocks [--viewable]: how many top-level clock windows (role Main) exist.
count_clocks() { "$XPROBE" count --title Zorvane --role Main "$@"; }

# ---------------------------------------------------------------- controls of dialogs and the clock

# rect_of TOP ROLE: "x y w h" of TOP's descendant with that role, x and y relative to the root.
rect_of() {
  local top child
  top=$("$XPROBE" geom "$1") || return 1
  child=$("$XPROBE" child "$1" "$2") || return 1
  awk -v t="$top" -v c="$child" \
    'BEGIN { split(t, a, " "); split(c, b, " "); print a[2] + b[1], a[3] + b[2], b[3], b[4] }'
}

# caption TOP ROLE: WM_NAME of the descendant with that role (CR and LF shown as \r and \n).
caption() { "$XPROBE" child "$1" "$2" | cut -d' ' -f6-; }

# map_state TOP ROLE: viewable, unmapped or unviewable; empty when there is no such control.
map_state() { "$XPROBE" child "$1" "$2" | awk '{ print $5 }'; }

# click_role TOP ROLE [BUTTON]: one click in the middle of the control.
click_role() {
  local x y w h
  read -r x y w h <<<"$(rect_of "$1" "$2")"
  [[ -n "$h" ]] || return 1
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click "${3:-1}"
}

# pointer STEP...: a pointer script, STEP being move X Y | down | up | sleep SECONDS (button 1).
# Played through XTEST, or through the compositor's own input where POINTER_VIA says how: "wlr
# RUNTIME_DIR DISPLAY" (a wlroots virtual pointer) or "mutter BUS_ADDRESS" (mutter's remote
# desktop), so that it takes the way a mouse's does. Such a pointer first enters a window and
# then moves within it, as a hand does: a press that comes with the entry alone is lost on its
# way into XWayland.
pointer() {
  local via rt wl
  read -r via rt wl <<<"${POINTER_VIA:-}"
  case $via in
    wlr) XDG_RUNTIME_DIR=$rt WAYLAND_DISPLAY=$wl "$WLPOINTER" "$SCREEN_W" "$SCREEN_H" sleep 0.3 "$@"
      return ;;
    mutter) DBUS_SESSION_BUS_ADDRESS=$rt /usr/bin/python3 "$HERE/mutter_pointer.py" "$@"
      return ;;
  esac
  local args=()
  while (($#)); do
    case $1 in
      move) args+=(mousemove "$2" "$3"); shift 3 ;;
      down | up) args+=("mouse$1" 1); shift ;;
      sleep) args+=(sleep "$2"); shift 2 ;;
      *) echo "pointer: bad step $1" >&2; return 2 ;;
    esac
  done
  xdotool "${args[@]}"
}

# double_click X Y: button 1 twice, 80 ms apart, as a user's double-click.
double_click() { xdotool mousemove "$1" "$2" click --repeat 2 --delay 80 1; }

# clock_point CLOCK ROLE: "x y" on the root where a click reaches that control of the clock. The
# window is shaped to the triangle (150,0),(0,225),(300,225) (its pixel rule: a pixel of row y is
# inside when 895-4y <= 6x < 899+4y), so a control is a target only where it lies inside: the
# middle of the control's middle row, cut to the triangle.
clock_point() {
  local cx cy x y w h
  read -r cx cy <<<"$(win_xy "$1")"
  read -r x y w h <<<"$(rect_of "$1" "$2")"
  [[ -n "$h" && -n "$cy" ]] || return 1
  awk -v cx="$cx" -v cy="$cy" -v x="$x" -v y="$y" -v w="$w" -v h="$h" '
    function ceil(v) { return (v == int(v)) ? v : (v > 0 ? int(v) + 1 : int(v)) }
    BEGIN {
      ly = y - cy + int(h / 2); lx = x - cx
      lo = ceil((895 - 4 * ly) / 6); hi = ceil((899 + 4 * ly) / 6) - 1
      a = (lx > lo + 1) ? lx : lo + 1; b = (lx + w - 1 < hi - 1) ? lx + w - 1 : hi - 1
      if (a > b) exit 1
      print cx + int((a + b) / 2), cy + ly
    }'
}

# dark_count FILE X Y W H: how many pixels of that rectangle of a screenshot are dark (grey level
# under 30 %: black ticks and dots, not the 3-D grey of a control's frame).
dark_count() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace Gray -threshold 30% \
    -format '%[fx:int(w*h*(1-mean)+0.5)]' info: 2>/dev/null
}

# control_state FILE TOP ROLE: "on", "off" or "unclear(N)" for a check box (role Check...) or an
# option button (role Option...) in a screenshot FILE. Neither shows its state in a property: a
# check box draws a tick in the white 13x13 square at its left (inside: 10x10 px from (2,4) of
# the control), an option a black dot in its white circle (inside: 6x6 px from (3,5)).
control_state() {
  local x y w h n
  read -r x y w h <<<"$(rect_of "$2" "$3")"
  [[ -n "$h" ]] || { echo "missing"; return; }
  case "$3" in
    Check*) n=$(dark_count "$1" $((x + 2)) $((y + 4)) 10 10) ;;
    *) n=$(dark_count "$1" $((x + 3)) $((y + 5)) 6 6) ;;
  esac
  if [[ "$n" == 0 ]]; then echo off; elif ((n >= 4)); then echo on; else echo "unclear($n)"; fi
}

# setting_line NAME: the stored line of that value, e.g. '"Format"=dword:00000000', or "none".
setting_line() {
  local line
  line=$(grep "^\"$1\"=" "$SETTINGS" 2>/dev/null)
  echo "${line:-none}"
}
