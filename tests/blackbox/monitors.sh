# Several monitors on one wide X screen: the clock's spots, the greeting and the stranded clock.
# The server is 2200 x 1024 (run.sh starts it so); RandR monitors split it. Xvfb's own monitor
# follows its one output and cannot be deleted, only replaced by one defined on that output.

MON_L=1024x768     # the left monitor, at the origin: shorter than the right one
MON_R=1176x1024    # the right monitor, at +1024+0

# monitors_split [PRIMARY]: the left monitor on the output, the right one beside it; PRIMARY=R
# marks the right one primary (otherwise none is).
monitors_split() {
  local r=R
  [[ "${1:-}" == R ]] && r='*R'
  xrandr --delmonitor L >/dev/null 2>&1
  xrandr --delmonitor R >/dev/null 2>&1
  xrandr --setmonitor L "${MON_L%x*}/270x${MON_L#*x}/203+0+0" screen >/dev/null 2>&1 || return 1
  xrandr --setmonitor "$r" "${MON_R%x*}/311x${MON_R#*x}/270+1024+0" none >/dev/null 2>&1
}

# spot_on W H OX OY POSITION: the spot of a Position on a W x H monitor whose corner is OX,OY.
spot_on() {
  local xy
  xy=$(SCREEN_W=$1 SCREEN_H=$2 spot_xy "$5")
  awk -v xy="$xy" -v ox="$3" -v oy="$4" 'BEGIN { split(xy, a, " "); print a[1] + ox, a[2] + oy }'
}

# case_spot_on_monitor POSITION PRIMARY WANT: with the screen split, the clock stands at WANT.
case_spot_on_monitor() {
  local t="Position $1 on the ${2} monitor $WM_TAG" clock
  new_env
  write_settings '"Format"=dword:00000001' "\"Position\"=dword:0000000$1"
  start_clock
  if ! clock=$(wait_clock 5000); then
    not_ok "$t" "no viewable clock within 5 s"
  else
    wait_for 2000 at_xy "$clock" "$3"
    check "$t" "$3" "$(win_xy "$clock")"
  fi
  stop "$CLOCK_PID"
}

# case_greeting_centred: a first start's greeting stands in the middle of the origin monitor.
case_greeting_centred() {
  local t="greeting centred on the monitor at the origin $WM_TAG" box x y w h
  new_env
  start_clock
  if ! box=$(wait_msgbox 5000); then
    not_ok "$t" "no greeting within 5 s"
  else
    read -r _ x y w h <<<"$(settled 3000 "$XPROBE" geom "$box")"
    # Its middle, within a pixel across and a window manager's title bar down (the whole
    # screen's middle would be 1100 512).
    check "$t" "yes" "$(awk -v x=$(((2 * x + w) / 2)) -v y=$(((2 * y + h) / 2)) \
      'BEGIN { print (x >= 511 && x <= 513 && y >= 383 && y <= 410) ? "yes" : "no: " x " " y }')"
  fi
  stop "$CLOCK_PID"
}

# case_stranded HOW: the clock, dragged to x 1500, comes back to its spot on the monitor at the
# origin when HOW leaves its tip and top tier on no monitor: "unplug" (the right monitor goes) or "shrink" (the
# screen, one monitor, shrinks to 1024 x 768). A change that leaves it on a monitor moves nothing.
case_stranded() {
  local how=$1 t="stranded by $1: back at its spot $WM_TAG" clock want
  # Shrinking: Xvfb's own monitor alone, following the output.
  [[ "$how" == shrink ]] && { xrandr --delmonitor L; xrandr --delmonitor R; } >/dev/null 2>&1
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000006'
  start_clock
  if ! clock=$(wait_clock 5000); then
    not_ok "$t" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    restore_screen
    return
  fi
  # Dragged there by its tip, as a user would: a clock the user put somewhere stays there while
  # it can still be reached.
  local x0 y0
  wait_for 2000 at_xy "$clock" "$(spot_on 1024 768 0 0 6)"
  read -r x0 y0 <<<"$(win_xy "$clock")"
  drag_tip $((x0 + 150)) $((y0 + 12)) $((1500 - x0)) $((300 - y0))
  if ! wait_for 2000 at_xy "$clock" "1500 300"; then
    not_ok "$t" "could not move the clock to x 1500: at $(win_xy "$clock")"
    stop "$CLOCK_PID"
    restore_screen
    return
  fi
  if [[ "$how" == unplug ]]; then
    # A monitor on the output is replaced by deleting it first (Xvfb's own comes back meanwhile).
    xrandr --delmonitor L >/dev/null 2>&1
    xrandr --setmonitor L "1000/270x768/203+0+0" screen >/dev/null 2>&1
    sleep 0.5
    check "still on a monitor: not moved $WM_TAG" "1500 300" "$(win_xy "$clock")"
    xrandr --delmonitor R >/dev/null 2>&1
    want=$(spot_on 1000 768 0 0 6)
  else
    xrandr --output screen --mode 1024x768 --fb 1024x768 >/dev/null 2>&1
    want=$(spot_on 1024 768 0 0 6)
  fi
  wait_for 3000 at_xy "$clock" "$want"
  check "$t" "$want" "$(win_xy "$clock")"
  check "still running after the change ($how) $WM_TAG" yes "$(alive "$CLOCK_PID" && echo yes)"
  stop "$CLOCK_PID"
  restore_screen
}

# case_apply_after HOW: once the screen has changed under a running clock, Setup's Apply puts it at
# each spot of the screen as it is now, and Setup and About open whole on it. HOW: "resolution"
# (one monitor, 2200 x 1024 to 1024 x 768) or "unplug" (the primary monitor, on the right, goes
# and the screen shrinks to the left one).
case_apply_after() {
  local how=$1 t="Apply after the $1 change $WM_TAG" start="0 0"
  if [[ $how == resolution ]]; then
    { xrandr --delmonitor L; xrandr --delmonitor R; } >/dev/null 2>&1
  else
    monitors_split R
    start="1024 0"
  fi
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock
  shown_clock || { restore_screen; return; }
  wait_for 3000 at_xy "$CLOCK" "$start"
  [[ $how == unplug ]] && xrandr --delmonitor R >/dev/null 2>&1
  xrandr --output screen --mode 1024x768 --fb 1024x768 >/dev/null 2>&1
  wait_for 3000 at_xy "$CLOCK" "0 0"
  check "$t: the clock at its spot on the new screen" "0 0" "$(win_xy "$CLOCK")"
  local WORK="0 0 1024 768"
  TAG="after the $how change" apply_each_spot
  if open_setup Hours\(2\) && open_about; then
    check "$t: Setup whole on the new screen" yes "$(whole_in "$SETUP")"
    check "$t: About whole on the new screen" yes "$(whole_in "$ABOUT")"
  else
    not_ok "$t: Setup and About shown" "not both viewable within 3 s"
  fi
  stop "$CLOCK_PID"
  restore_screen
}

# restore_screen: the full 2200 x 1024 screen split in two again.
restore_screen() {
  xrandr --output screen --mode 2200x1024 --fb 2200x1024 >/dev/null 2>&1
  monitors_split
}

group_monitors() {
  # A mode the shrink case switches the output to.
  xrandr --newmode 1024x768 0 1024 0 0 0 768 0 0 0 >/dev/null 2>&1
  xrandr --addmode screen 1024x768 >/dev/null 2>&1
  if ! monitors_split || [[ "$(xrandr --listmonitors | head -1)" != "Monitors: 2" ]]; then
    not_ok "monitors $WM_TAG: set-up" "xrandr could not split the screen: $(xrandr --listmonitors | xargs)"
    return
  fi
  local p
  for p in 0 4 6; do case_spot_on_monitor "$p" left "$(spot_on 1024 768 0 0 "$p")"; done
  case_greeting_centred
  case_stranded unplug
  case_stranded shrink
  case_apply_after resolution
  case_apply_after unplug
  monitors_split R
  for p in 1 5; do case_spot_on_monitor "$p" "right (primary)" "$(spot_on 1176 1024 1024 0 "$p")"; done
}
