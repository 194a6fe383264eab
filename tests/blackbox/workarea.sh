# Panels: the spots stand in what panels and docks leave of the screen (the work area), a clock at
# its spot follows the work area as it changes, a dragged clock stays, and Setup and About open
# whole inside it from a clock at every spot. The panel is the tests' own dock (xdock), as desktops' panels are made.

XDOCK="$BUILD_DIR/tests/xdock"

# with_dock EDGE SIZE: a dock along that edge; sets DOCK (its window), DOCK_PID and WORK.
with_dock() {
  local log="$BB_TMP/dock.$RANDOM$RANDOM"
  spawn "$log" "$XDOCK" "$1" "$2"
  DOCK_PID=$SPAWNED DOCK=""
  wait_for 5000 test -s "$log.out" && DOCK=$(head -1 "$log.out")
  work_for "$1" "$2"
  [[ -n "$DOCK" ]]
}

# work_for EDGE SIZE: sets WORK to what a dock of that depth along that edge leaves.
work_for() {
  case $1 in
    bottom) WORK="0 0 $SCREEN_W $((SCREEN_H - $2))" ;;
    top) WORK="0 $2 $SCREEN_W $((SCREEN_H - $2))" ;;
    left) WORK="$2 0 $((SCREEN_W - $2)) $SCREEN_H" ;;
    right) WORK="0 0 $((SCREEN_W - $2)) $SCREEN_H" ;;
    none) WORK="" ;;
  esac
}

# whole_in WIN: true when the window lies wholly inside WORK; says where it is otherwise.
whole_in() {
  local m x y w h wx wy ww wh
  read -r m x y w h <<<"$("$XPROBE" geom "$1")"
  read -r wx wy ww wh <<<"${WORK:-0 0 $SCREEN_W $SCREEN_H}"
  if ((x >= wx && y >= wy && x + w <= wx + ww && y + h <= wy + wh)); then echo yes
  else echo "no: $x,$y ${w}x$h"; fi
}

is_whole() { [[ "$(whole_in "$1")" == yes ]]; }

# kept_xy X Y W H: where a dialog of W x H that wants to open at X,Y stands, moved into WORK.
kept_xy() {
  local wx wy ww wh
  read -r wx wy ww wh <<<"${WORK:-0 0 $SCREEN_W $SCREEN_H}"
  echo "$(max "$wx" "$(min "$1" $((wx + ww - $3)))") $(max "$wy" "$(min "$2" $((wy + wh - $4)))")"
}
max() { echo $(($1 > $2 ? $1 : $2)); }

# The seven spots with a panel at the bottom, then one on the left: at start-up at a spot the
# panel moves, then each chosen in Setup in one clock, with Setup and About opened at each, whole
# in the work area (Setup beside the clock, About over Setup, each moved in where they would
# reach past it).
case_wa_spots() {
  local edge size corner t
  for edge in "bottom 32 6" "left 48 4"; do
    read -r edge size corner <<<"$edge"
    with_dock "$edge" "$size" || { not_ok "panel ($edge $size) $WM_TAG" "the dock did not show"; continue; }
    t="Position $corner at start-up with a $size-px $edge panel $WM_TAG"
    if dt_clock "$corner"; then
      wait_for 3000 at_xy "$CLOCK" "$(spot_xy "$corner")"
      check "$t: outer top-left" "$(spot_xy "$corner")" "$(win_xy "$CLOCK")"
      stop "$CLOCK_PID"
    fi
    TAG="with a $size-px $edge panel" WITH_ABOUT=1 case_dt_apply
    stop "$DOCK_PID"
    WORK=""
  done
}

# A clock at its spot follows the panel as it grows, moves and goes; a dragged one stays put.
case_wa_follow() {
  local t="following the panel $WM_TAG"
  with_dock bottom 32 || { not_ok "$t" "the dock did not show"; return; }
  dt_clock 6 || return
  local step
  for step in "bottom 64" "left 48" "top 40"; do
    "$XDOCK" set "$DOCK" $step
    work_for $step
    wait_for 3000 at_xy "$CLOCK" "$(spot_xy 6)"
    check "$t: at its spot, the panel now $step" "$(spot_xy 6)" "$(win_xy "$CLOCK")"
  done
  stop "$DOCK_PID"
  work_for none
  wait_for 3000 at_xy "$CLOCK" "$(spot_xy 6)"
  check "$t: at its spot, the panel gone" "$(spot_xy 6)" "$(win_xy "$CLOCK")"
  # Dragged by the tip to the middle of the screen: the panel's changes leave it there.
  if [[ "${DT_POINTER:-}" == none ]]; then
    skip "$t: dragged, it stays" "$DT_NO_POINTER"
    stop "$CLOCK_PID"
    return
  fi
  local x0 y0 want
  read -r x0 y0 <<<"$(win_xy "$CLOCK")"
  POINTER_VIA=${DT_POINTER:-} drag_tip $((x0 + 150)) $((y0 + 12)) -400 -300
  want="$((x0 - 400)) $((y0 - 300))"
  wait_for 2000 at_xy "$CLOCK" "$want"
  with_dock bottom 64 || { not_ok "$t" "the second dock did not show"; stop "$CLOCK_PID"; return; }
  "$XDOCK" set "$DOCK" left 48
  sleep 0.5
  check "$t: dragged, it stays as panels come and change" "$want" "$(win_xy "$CLOCK")"
  stop "$DOCK_PID"
  WORK=""
  stop "$CLOCK_PID"
}

# sway_work: sway's visible workspace's rectangle, "X Y W H": the output less its bar.
sway_work() {
  swaymsg -s "$SWAYSOCK" -t get_workspaces 2>/dev/null | /usr/bin/python3 -c 'import json, sys
r = [w["rect"] for w in json.load(sys.stdin) if w["visible"]][0]
print(r["x"], r["y"], r["width"], r["height"])'
}

group_workarea() {
  case_wa_spots
  case_wa_follow
}
