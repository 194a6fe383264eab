# The clock under the window managers and compositors people run, each from Debian's packages:
# GNOME's mutter and KDE's KWin on X11, xfwm4 (Xfce), mutter's and KWin's Wayland sessions through
# XWayland, and sway. One table of checks over them: the seven spots at start-up and after Apply,
# the drag, where clicks go, what shows around the triangle, About's see-through corners, and the
# one-copy rule.

DESKTOPS=(mutter-x11 kwin-x11 xfwm4 mutter-wayland mutter-nested kwin-wayland sway)
DT_USER=65534   # sway refuses to run as root: it runs as nobody, and lets root's clients in

# dt_shot FILE: the screen as the desktop shows it (its compositor's output where it has one).
dt_shot() {
  case "$DT_SHOT" in
    x) shot "$1" ;;
    grim) XDG_RUNTIME_DIR="$DT_RUNTIME" WAYLAND_DISPLAY="$DT_WAYLAND" grim "$1" 2>/dev/null ;;
    host) DISPLAY=$DT_HOST shot "$1" ;;
    *) return 1 ;;
  esac
}

# start_desktop NAME: the desktop on a fresh server, DISPLAY set to its X server; DT_SHOT says how
# its screen is read ("" where it cannot be). False with DT_WHY when it cannot start here.
start_desktop() {
  local home="$BB_TMP/desktop-$1.$RANDOM" cmd=()
  mkdir -p "$home/rt"
  chmod 700 "$home/rt"
  DT_SHOT=x DT_WHY="" DT_SKIP="" DT_BACKDROP="" DT_POINTER="" DT_SHOT_ELSEWHERE=""
  DT_NO_POINTER="no input of the compositor's own for the tests here, and XTEST reaches only XWayland"
  unset XAUTHORITY
  case $1 in
    mutter-x11) cmd=(dbus-run-session -- mutter --x11 --replace) ;;
    kwin-x11) cmd=(dbus-run-session -- kwin_x11 --replace) ;;
    xfwm4) cmd=(dbus-run-session -- xfwm4 --replace --compositor=off) ;;
    mutter-wayland) start_mutter_wayland "$home" headless; return ;;
    mutter-nested) start_mutter_wayland "$home" nested; return ;;
    kwin-wayland) start_kwin_wayland "$home"; return ;;
    sway) start_sway "$home"; return ;;
  esac
  command -v "${cmd[2]}" >/dev/null || { DT_WHY="${cmd[2]} is not installed" DT_SKIP=1; return 1; }
  start_x || { DT_WHY="Xvfb did not start"; return 1; }
  "$XPROBE" paint-root "$ROOT_HEX"
  spawn "$home/wm" env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_RUNTIME_DIR="$home/rt" "${cmd[@]}"
  "$XPROBE" wait-wm 20000 || { DT_WHY="$1 did not manage windows within 20 s: $(tail -1 "$home/wm.err")"; return 1; }
  start_backdrop "$home" "$1"
}

# start_backdrop HOME NAME: a desktop window of a known colour over the work area, which notes the
# clicks it gets in DT_BACKDROP. KWin alone shows black, mutter its own gradient.
start_backdrop() {
  DT_BACKDROP="$1/backdrop.out"
  spawn "$1/backdrop" "$XPROBE" backdrop "$ROOT_HEX"
  local bd
  bd=$("$XPROBE" wait --title backdrop --viewable --timeout 5000) ||
    { DT_WHY="the backdrop did not show under $2"; return 1; }
  local wx wy ww wh
  read -r wx wy ww wh <<<"${WORK:-0 0 $SCREEN_W $SCREEN_H}"
  wait_for 3000 at_size "$bd" "$ww $wh" ||
    { DT_WHY="the backdrop does not cover the work area ($ww x $wh) under $2"; return 1; }
}

at_size() { [[ "$("$XPROBE" geom "$1" | awk '{ print $4, $5 }')" == "$2" ]]; }

start_mutter_wayland() {
  local home=$1 left=20000 display
  command -v mutter >/dev/null && command -v Xwayland >/dev/null ||
    { DT_WHY="mutter or Xwayland is not installed" DT_SKIP=1; return 1; }
  # Headless, its session bus is where its remote-desktop interface is the tests' pointer. Nested,
  # its output is a window on an Xvfb of the tests, whose screen is then what mutter shows: plain
  # mutter has no screenshot interface without PipeWire, and XWayland's root cannot be read.
  # Headless, it has a second monitor, off until the unplug case plugs it in (Meta-1).
  local mode=(--headless --virtual-monitor "${SCREEN_W}x$SCREEN_H" --virtual-monitor 1024x768)
  if [[ $2 == nested ]]; then
    start_x || { DT_WHY="Xvfb did not start"; return 1; }
    DT_HOST=$DISPLAY mode=(--nested)
  fi
  spawn "$home/wm" env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_RUNTIME_DIR="$home/rt" MUTTER_DEBUG_DUMMY_MODE_SPECS="${SCREEN_W}x$SCREEN_H" \
    dbus-run-session -- sh -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$0"; exec "$@"' \
    "$home/bus" mutter --wayland "${mode[@]}" --wayland-display=zorvane-test
  until display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$home/wm.err" | head -1) &&
    [[ -n "$display" ]] && ls "$home"/rt/.mutter-Xwaylandauth.* >/dev/null 2>&1; do
    ((left <= 0)) && { DT_WHY="mutter named no X display within 20 s: $(tail -1 "$home/wm.err")"; return 1; }
    sleep 0.1
    left=$((left - 100))
  done
  export DISPLAY=$display XAUTHORITY
  XAUTHORITY=$(ls "$home"/rt/.mutter-Xwaylandauth.* | head -1)
  "$XPROBE" wait-wm 20000 || { DT_WHY="mutter's XWayland did not answer within 20 s"; return 1; }
  if [[ $2 == nested ]]; then
    # mutter draws its pointer into what it shows: out of the way, bottom right.
    DISPLAY=$DT_HOST xdotool mousemove $((SCREEN_W - 1)) $((SCREEN_H - 1))
    DT_SHOT=host DT_POINTER=none
    DT_NO_POINTER="nested, mutter follows the pointer of the Xvfb it runs in (mutter-wayland checks them)"
  else
    DT_SHOT="" DT_POINTER="mutter $(cat "$home/bus")" DT_SHOT_ELSEWHERE=" (mutter-nested checks them)"
    DT_BUS=$(cat "$home/bus")
    dt_monitors Meta-0,0,0* || { DT_WHY="mutter did not turn its second monitor off"; return 1; }
  fi
  start_backdrop "$home" "mutter-wayland ($2)"
}

start_kwin_wayland() {
  local home=$1 left=20000
  command -v kwin_wayland >/dev/null && command -v Xwayland >/dev/null ||
    { DT_WHY="kwin_wayland or Xwayland is not installed" DT_SKIP=1; return 1; }
  # The packaged binary carries file capabilities, which a container may refuse to run: a copy
  # has none. KWin starts the given command once its XWayland is up, with DISPLAY set.
  cp "$(command -v kwin_wayland)" "$home/kwin_wayland"
  spawn "$home/wm" env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_RUNTIME_DIR="$home/rt" dbus-run-session -- "$home/kwin_wayland" --virtual --xwayland \
    --width 1280 --height 1024 --socket zorvane-test "sh -c 'env >$home/env; exec sleep 100000'"
  until grep -q '^DISPLAY=' "$home/env" 2>/dev/null; do
    ((left <= 0)) && { DT_WHY="KWin named no X display within 20 s: $(tail -1 "$home/wm.err")"; return 1; }
    sleep 0.1
    left=$((left - 100))
  done
  export DISPLAY
  DISPLAY=$(sed -n 's/^DISPLAY=//p' "$home/env")
  # KWin offers its fake-input protocol only to programs it trusts by their desktop files (the
  # tests' client is not among the globals it is shown), and its screenshots likewise.
  DT_SHOT="" DT_POINTER=none
  "$XPROBE" wait-wm 20000 || { DT_WHY="KWin's XWayland did not answer within 20 s"; return 1; }
  start_backdrop "$home" kwin-wayland
}

start_sway() {
  local home=$1 left=20000
  chmod 711 "$BB_TMP"   # so that sway's user reaches its home in there
  [[ $(id -u) == 0 ]] ||
    { DT_WHY="sway refuses root, and only root can run it as another user here" DT_SKIP=1; return 1; }
  command -v sway >/dev/null && command -v grim >/dev/null && command -v Xwayland >/dev/null ||
    { DT_WHY="sway, grim or Xwayland is not installed" DT_SKIP=1; return 1; }
  cat >"$home/config" <<EOF
xwayland enable
default_border none
default_floating_border none
output HEADLESS-1 resolution 1280x1024 position 0 0 bg #$ROOT_HEX solid_color
bar {
  position top
  status_command while date +%H:%M:%S; do sleep 1; done
}
exec env > $home/env
EOF
  chown -R "$DT_USER:$DT_USER" "$home"
  spawn "$home/wm" setpriv --reuid "$DT_USER" --regid "$DT_USER" --clear-groups env -i PATH="$PATH" \
    HOME="$home" XDG_RUNTIME_DIR="$home/rt" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman sway -c "$home/config"
  until grep -q '^DISPLAY=' "$home/env" 2>/dev/null && grep -q '^WAYLAND_DISPLAY=' "$home/env"; do
    ((left <= 0)) && { DT_WHY="sway did not start within 20 s: $(tail -1 "$home/wm.err")"; return 1; }
    sleep 0.1
    left=$((left - 100))
  done
  export DISPLAY SWAYSOCK
  DISPLAY=$(sed -n 's/^DISPLAY=//p' "$home/env")
  SWAYSOCK=$(sed -n 's/^SWAYSOCK=//p' "$home/env")
  DT_WAYLAND=$(sed -n 's/^WAYLAND_DISPLAY=//p' "$home/env") DT_RUNTIME="$home/rt" DT_SHOT=grim
  # Its XWayland takes only its user's clients: let root's in, the clock and the probes.
  setpriv --reuid "$DT_USER" --regid "$DT_USER" --clear-groups env -i PATH="$PATH" DISPLAY="$DISPLAY" \
    xhost +si:localuser:root >/dev/null 2>&1 || { DT_WHY="xhost could not admit root to sway's XWayland"; return 1; }
  "$XPROBE" wait-wm 20000 || { DT_WHY="sway's XWayland did not answer within 20 s"; return 1; }
  # Tiled under the floating clock; sway's own virtual pointer is the mouse of the tests.
  DT_POINTER="wlr $home/rt $DT_WAYLAND"
  # Its bar keeps the top of the output: the spots stand in what its workspaces leave.
  wait_for 5000 eval '[[ "$(sway_work)" != "0 0 $SCREEN_W $SCREEN_H" && -n "$(sway_work)" ]]' ||
    { DT_WHY="swaybar did not take its room within 5 s ($(sway_work))"; return 1; }
  WORK=$(sway_work)
  start_backdrop "$home" sway
}


# dt_monitors CONNECTOR,X,Y[*]...: mutter's monitors laid out so (GNOME's display settings do the
# same), every other one off; waits until XWayland shows as many.
dt_monitors() {
  DBUS_SESSION_BUS_ADDRESS=$DT_BUS /usr/bin/python3 "$HERE/mutter_monitors.py" "$@" || return 1
  local want="Monitors: $#"
  shown() { [[ "$(xrandr --listmonitors 2>/dev/null | head -1)" == "$want" ]]; }
  wait_for 5000 shown
}

# Monitors plugged in and out under GNOME's mutter (its own headless monitors, as its display
# settings change them): a clock at its spot on the primary monitor stays at that spot as the
# layout moves, Apply then puts it on the monitor that is left, and a clock dragged onto the
# monitor that goes comes back to its spot, whatever mutter does with the window meanwhile.
case_dt_unplug() {
  local t="a monitor unplugged $WM_TAG" x0 y0
  # The second monitor left of the primary one, which then starts at x 1024.
  dt_monitors Meta-1,0,0 Meta-0,1024,0* || { not_ok "$t: set-up" "mutter took no second monitor"; return; }
  if dt_clock 1; then
    wait_for 3000 at_xy "$CLOCK" "1024 0"
    check "$t: at its spot on the primary monitor" "1024 0" "$(win_xy "$CLOCK")"
    dt_monitors Meta-0,0,0*
    wait_for 3000 at_xy "$CLOCK" "0 0"
    check "$t: the other one gone, still at its spot" "0 0" "$(win_xy "$CLOCK")"
    TAG="the other monitor gone" apply_each_spot
    dt_monitors Meta-1,0,0 Meta-0,1024,0*
    wait_for 3000 at_xy "$CLOCK" "1024 0"
    read -r x0 y0 <<<"$(win_xy "$CLOCK")"
    POINTER_VIA=$DT_POINTER drag_tip $((x0 + 150)) $((y0 + 12)) $((300 - x0)) $((300 - y0))
    wait_for 3000 at_xy "$CLOCK" "300 300"
    check "$t: dragged onto the other monitor" "300 300" "$(win_xy "$CLOCK")"
    dt_monitors Meta-0,0,0*
    wait_for 3000 at_xy "$CLOCK" "0 0"
    check "$t: that monitor gone: back at its spot" "0 0" "$(win_xy "$CLOCK")"
    stop "$CLOCK_PID"
  fi
  dt_monitors Meta-0,0,0*
}

# dt_clock POSITION: a fresh clock stored at that spot; sets CLOCK (false after reporting).
dt_clock() {
  new_env
  write_settings '"Format"=dword:00000001' "\"Position\"=dword:0000000$1"
  start_clock
  shown_clock
}

# The seven spots, each at start-up.
case_dt_spots() {
  local p want t
  for p in 0 1 2 3 4 5 6; do
    t="Position $p at start-up${TAG:+ $TAG} $WM_TAG"
    dt_clock "$p" || continue
    want=$(spot_xy "$p")
    wait_for 3000 at_xy "$CLOCK" "$want"
    check "$t: outer top-left" "$want" "$(win_xy "$CLOCK")"
    stop "$CLOCK_PID"
  done
}

# The seven spots chosen in Setup, one after another in one clock, and Setup beside the clock.
case_dt_apply() {
  local t="Setup apply $WM_TAG"
  dt_clock 1 || return
  apply_each_spot
  stop "$CLOCK_PID"
}

# apply_each_spot: in the running CLOCK, each spot chosen in Setup in turn (the clock first at
# Position 1): it goes there, and Setup opens beside the clock, whole on the screen. With
# WITH_ABOUT set, About opened from Setup at each spot stands whole on the screen too.
apply_each_spot() {
  local k pos want cx cy t
  for k in 1 2 3 4 5 6 0; do
    pos=$(((k + 1) % 7))
    t="Setup apply, Position $pos${TAG:+ $TAG} $WM_TAG"
    if ! open_setup Hours\(2\); then
      not_ok "$t: dialog shown" "no viewable Setup within 3 s of a right click on Hours(2)"
      break
    fi
    # Beside the clock, moved into the work area where it would reach past it.
    local m sx sy sw sh
    read -r cx cy <<<"$(win_xy "$CLOCK")"
    read -r m sx sy sw sh <<<"$("$XPROBE" geom "$SETUP")"
    check "$t: Setup at the clock's corner + (73,40), whole on the screen" \
      "$(kept_xy $((cx + 73)) $((cy + 40)) "$sw" "$sh")" "$sx $sy"
    if [[ -n "${WITH_ABOUT:-}" ]]; then
      if open_about; then
        wait_for 2000 is_whole "$ABOUT"
        check "$t: About whole on the screen" yes "$(whole_in "$ABOUT")"
        click_role "$ABOUT" Text2
        "$XPROBE" wait-gone "$ABOUT" 3000 >/dev/null
      else
        not_ok "$t: About shown" "no viewable About within 3 s"
      fi
    fi
    click_role "$SETUP" "Option1($k)"
    click_role "$SETUP" Command1
    "$XPROBE" wait-gone "$SETUP" 3000 >/dev/null
    want=$(spot_xy "$pos")
    wait_for 3000 at_xy "$CLOCK" "$want"
    check "$t: outer top-left" "$want" "$(win_xy "$CLOCK")"
  done
}

# Dragging the tip: the window follows the pointer from where the button went down, to the pixel.
case_dt_drag() {
  local t="drag the tip $WM_TAG" clock x0 y0 want
  clock_at_centre || return
  drag_tip $((x0 + 150)) $((y0 + 12)) -230 -170
  want="$((x0 - 230)) $((y0 - 170))"
  wait_for 2000 at_xy "$clock" "$want"
  check "$t: moved with the pointer by (-230,-170)" "$want" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

# A drag the clock reads late (stopped while the pointer pressed, moved and let go): it follows
# the pointer to where the button came up, and no move is left running in the manager.
case_dt_late_drag() {
  local t="a drag read late $WM_TAG" clock x0 y0 want presses
  clock_at_centre || return
  kill -STOP "$CLOCK_PID"
  drag_tip $((x0 + 150)) $((y0 + 12)) -230 -170
  kill -CONT "$CLOCK_PID"
  want="$((x0 - 230)) $((y0 - 170))"
  wait_for 2000 at_xy "$clock" "$want"
  check "$t: moved with the pointer by (-230,-170)" "$want" "$(win_xy "$clock")"
  presses=$(grep -c '^press' "$DT_BACKDROP")
  pointer move 1201 1001 sleep 0.1 move 1200 1000 sleep 0.1 down sleep 0.05 up
  pressed() { (($(grep -c '^press' "$DT_BACKDROP") > presses)); }
  wait_for 3000 pressed
  unset -f pressed
  check "$t: a click afterwards reaches the desktop" "$((presses + 1))" "$(grep -c '^press' "$DT_BACKDROP")"
  check "$t: and the clock stays put" "$want" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

# A click outside the triangle reaches the desktop below; a double-click inside reaches the clock,
# and a double-click on a cell closes it.
case_dt_clicks() {
  local t="clicks $WM_TAG" cx cy presses
  [[ -n "$DT_BACKDROP" ]] || { skip "$t" "no window of the tests below the clock here"; return; }
  dt_clock 1 || return
  read -r cx cy <<<"$(win_xy "$CLOCK")"
  presses=$(grep -c '^press' "$DT_BACKDROP")
  pointer move $((cx + 21)) $((cy + 21)) sleep 0.1 move $((cx + 20)) $((cy + 20)) sleep 0.1 \
    down sleep 0.05 up sleep 0.3
  pressed() { (($(grep -c '^press' "$DT_BACKDROP") > presses)); }
  wait_for 3000 pressed
  check "$t: one at (20,20), outside the triangle, reaches the desktop" \
    "$((presses + 1))" "$(grep -c '^press' "$DT_BACKDROP")"
  unset -f pressed
  pointer move $((cx + 151)) $((cy + 151)) sleep 0.1 move $((cx + 150)) $((cy + 150)) sleep 0.1 \
    down sleep 0.03 up sleep 0.08 down sleep 0.03 up sleep 0.1
  if wait_exit "$CLOCK_PID" 3000; then
    check "$t: a double-click on a cell closes the clock, status" 0 "$EXIT_STATUS"
  else
    not_ok "$t: a double-click on a cell closes the clock" "still running 3 s after it"
  fi
  stop "$CLOCK_PID"
}

# A SWAYSOCK that is not sway's: one that takes the connection and never answers, one that drips
# its answer a byte every 0.1 s, one whose backlog is full. The clock shows at sway's centre and
# keeps time: the seconds cell never stands still for over 1.2 s (each exchange has a quarter of
# a second in all, and a socket that failed is left alone for a while).
case_dt_bad_socket() {
  local kind t sock stub gap
  for kind in silent drip full; do
    t="a $kind SWAYSOCK $WM_TAG"
    sock="$BB_TMP/$kind.$RANDOM.sock"
    spawn "$BB_TMP/$kind" /usr/bin/python3 "$HERE/stub_socket.py" "$kind" "$sock"
    stub=$SPAWNED
    ready() { [[ -S $sock ]] && { [[ $kind != full ]] || grep -qs full "$BB_TMP/$kind.out"; }; }
    if ! wait_for 5000 ready; then
      not_ok "$t: set-up" "the stub did not listen: $(head -c 200 "$BB_TMP/$kind.err")"
      stop "$stub"
      continue
    fi
    if SWAYSOCK=$sock dt_clock 3; then
      local wx wy ww wh
      read -r wx wy ww wh <<<"${WORK:-0 0 $SCREEN_W $SCREEN_H}"
      check "$t: the clock at sway's centre" "$((wx + (ww - 300) / 2)) $((wy + (wh - 225) / 2))" \
        "$(win_xy "$CLOCK")"
      sample_seconds 4 "$ENV_DIR/seconds"
      gap=$(awk -v e="$(date +%s.%N)" 'NR > 1 && $1 - p > m { m = $1 - p } { p = $1 }
        END { if (e - p > m) m = e - p; printf "%.2f", m }' "$ENV_DIR/seconds")
      echo "# $t: longest gap $gap s"
      check_true "$t: no gap over 1.2 s in the seconds cell" "longest gap $gap s" \
        awk -v g="$gap" 'BEGIN { exit !(g > 0 && g <= 1.2) }'
      stop "$CLOCK_PID"
    fi
    stop "$stub"
  done
  unset -f ready
}

# Around the triangle the desktop shows through; About's see-through corners show what was
# behind them, never black; a second copy is refused.
case_dt_look() {
  local t="look $WM_TAG" desk="$BB_TMP/desk-$DT_NAME.png" before after
  dt_clock 1 || return
  before="$ENV_DIR/before.png" after="$ENV_DIR/after.png"
  local cx cy pts depth=24
  read -r cx cy <<<"$(win_xy "$CLOCK")"
  # Alpha makes the compositor blend the whole window each frame: the clock has it only where
  # the compositor ignores its shape.
  [[ $DT_NAME == sway ]] && depth=32
  check "$t: the clock's depth" "$depth" "$(xwininfo -id "$CLOCK" | awk '/Depth:/ { print $2 }')"
  if [[ -z "$DT_SHOT" ]]; then
    skip "$t: pixels" "$DT_NAME offers no screenshot here$DT_SHOT_ELSEWHERE"
  else
    # Outside the triangle, within its box (the rows' ends and the two upper corners); one point
    # inside, which must be the clock's.
    pts=$(rel_points "$cx" "$cy" 2 2 297 2 5 200 295 200 40 100 260 100 150 150)
    local shown desktop
    desktop=$(pixels "$desk" $pts | xargs)
    # Painted and composited: on a busy machine the first frame with the clock can take a while.
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
      sleep 0.5
      dt_shot "$after"
      shown=$(pixels "$after" $pts | xargs)
      [[ "${shown##* }" != "${desktop##* }" ]] && break
    done
    check "$t: outside the triangle, the desktop" "${desktop% *}" "${shown% *}"
    check_true "$t: inside, the clock" "the desktop's colour at (150,150)" \
      test "${shown##* }" != "${desktop##* }"

    if open_setup Hours\(2\); then
      wait_for 3000 dt_shot "$before"
      if open_about; then
        local m ax ay aw ah corners
        read -r m ax ay aw ah <<<"$("$XPROBE" geom "$ABOUT")"
        corners=$(rel_points "$ax" "$ay" 0 0 1 1 $((aw - 1)) 0 0 $((ah - 1)) $((aw - 1)) $((ah - 1)) 5 6)
        # Once painted and composited.
        corners_are() { dt_shot "$after" && [[ "$(pixels "$after" $corners | xargs)" == "$(pixels "$1" $corners | xargs)" ]]; }
        wait_for 5000 corners_are "$before"
        check "$t: About's see-through corners show what was behind them" \
          "$(pixels "$before" $corners | xargs)" "$(pixels "$after" $corners | xargs)"
        check_true "$t: About's corners are not black" "black at one of: $corners" \
          eval '! pixels "$after" $corners | grep -qx 0,0,0'
        # Closed, About and Setup leave nothing behind (KWin was seen to keep stale pixels).
        click_role "$ABOUT" Text2
        "$XPROBE" wait-gone "$ABOUT" 3000 >/dev/null
        close_setup
        "$XPROBE" wait-gone "$SETUP" 3000 >/dev/null
        wait_for 5000 corners_are "$desk"
        unset -f corners_are
        check "$t: where About's corners were, the desktop again once it closes" \
          "$(pixels "$desk" $corners | xargs)" "$(pixels "$after" $corners | xargs)"
      else
        not_ok "$t: About shown" "no viewable About within 3 s of a click on About"
      fi
    else
      not_ok "$t: Setup shown" "no viewable Setup within 3 s of a right click on Hours(2)"
    fi
    stop "$CLOCK_PID"
    dt_clock 1 || return
  fi
  FIRST_PID=$CLOCK_PID FIRST_WIN=$CLOCK
  second_copy_refused "second copy $WM_TAG"
  stop "$CLOCK_PID"
  stop "$FIRST_PID"
}

group_desktops() {
  local d
  for d in "${DESKTOPS[@]}"; do
    wanted_desktop "$d" || continue
    DT_NAME=$d WM_TAG="[$d]"
    echo "# desktop $d"
    # Not installed, or not for this kind of machine: a skip. Installed and failing: a failure.
    if ! start_desktop "$d"; then
      if [[ -n $DT_SKIP ]]; then skip "$d" "cannot start here: $DT_WHY"
      else not_ok "$d starts" "$DT_WHY"; fi
      stop_all
      continue
    fi
    # The desktop before any clock shows, to compare with.
    # Once the backdrop is painted and composited: the screen no longer changes.
    [[ -n "$DT_SHOT" ]] && settled 5000 eval 'dt_shot "$BB_TMP/desk-$d.png" &&
      pixels "$BB_TMP/desk-$d.png" 10 40 640 512 1270 1014' >/dev/null
    case_dt_spots
    case_dt_apply
    # sway leaves X11 docks' struts aside: there the panel is sway's own bar, always there.
    if [[ $d == sway ]]; then TAG="with About" WITH_ABOUT=1 case_dt_apply; else group_workarea; fi
    # On Wayland the compositor's own input drives the tests: XTEST moves only XWayland's
    # pointer, and the compositor runs a manager's move and picks the window a click reaches.
    if [[ "$DT_POINTER" == none ]]; then
      skip "drag and clicks $WM_TAG" "$DT_NO_POINTER"
    else
      POINTER_VIA=$DT_POINTER case_dt_drag
      [[ -z "$DT_POINTER" ]] && case_dt_late_drag
      POINTER_VIA=$DT_POINTER case_dt_clicks
    fi
    case_dt_look
    [[ -n "${DT_BUS:-}" ]] && case_dt_unplug
    [[ -n "${SWAYSOCK:-}" ]] && case_dt_bad_socket
    stop_all
    unset XAUTHORITY SWAYSOCK WORK DT_BUS
  done
  WM_TAG=""
}

min() { echo $(($1 < $2 ? $1 : $2)); }

# DESKTOP=name limits the run to one desktop.
wanted_desktop() { [[ -z "${DESKTOP:-}" || " $DESKTOP " == *" $1 "* ]]; }
