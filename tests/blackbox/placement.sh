# Where the clock goes: the stored Position spots, the alignment mark (Line1), and dragging the
# blue tip.

SCREEN_W=1280   # the Xvfb screen of lib.sh's start_x, pixels
SCREEN_H=1024
UNPLACED_XY="128 96"   # where the window stays for a Position outside 0-6

# spot_xy POSITION: expected outer top-left in pixels. The spots line up the clock's visible part,
# a 4500 x 3400 twip box (300 x 226.67 px) at the window's top-left, with the work area's centre
# (0), corners (1 top-left, 3 top-right, 4 bottom-left, 6 bottom-right) and the middles of its
# top and bottom edges (2, 5). Twips are converted to pixels (15 twips each) and rounded. The
# work area is WORK ("X Y W H": what panels leave), else the whole SCREEN_W x SCREEN_H.
spot_xy() {
  local wx=0 wy=0 ww=$SCREEN_W wh=$SCREEN_H
  [[ -n "${WORK:-}" ]] && read -r wx wy ww wh <<<"$WORK"
  awk -v p="$1" -v X=$((wx * 15)) -v Y=$((wy * 15)) -v W=$((ww * 15)) -v H=$((wh * 15)) '
    function px(t) { return int(t / 15 + 0.5) }
    BEGIN {
      cx = X + W / 2 - 2250; right = X + W - 4500; cy = Y + H / 2 - 1700; bottom = Y + H - 3400
      if (p == 0) print px(cx), px(cy)
      else if (p == 1) print px(X), px(Y)
      else if (p == 2) print px(cx), px(Y)
      else if (p == 3) print px(right), px(Y)
      else if (p == 4) print px(X), px(bottom)
      else if (p == 5) print px(cx), px(bottom)
      else if (p == 6) print px(right), px(bottom)
    }'
}

# case_position POSITION [VALUE_LINE [NOTE]]: the clock shows at the spot of POSITION (a number
# 0-6; anything else means "not placed") and stays there. VALUE_LINE overrides how it is stored.
case_position() {
  local p=$1 line=${2:-"\"Position\"=dword:0000000$1"} note=${3:-}
  local t="Position $p${note:+ ($note)} $WM_TAG" want
  want=$(spot_xy "$p")
  [[ -n "$want" ]] || want=$UNPLACED_XY
  new_env
  write_settings '"Format"=dword:00000001' "$line"
  start_clock
  shown_clock || return
  local clock=$CLOCK
  # A window manager may first put the window elsewhere: give the program time to move it.
  wait_for 2000 at_xy "$clock" "$want"
  check "$t: outer top-left" "$want" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

# clock_xy_with LINE...: where the clock shows (after settling) with these stored values; sets
# CLOCK_XY to "x y" or "none". (Not run in $(...): the case counter and process list must stay.)
clock_xy_with() {
  new_env
  write_settings "$@"
  start_clock
  local clock
  CLOCK_XY=none
  if clock=$(wait_clock 5000); then
    # Once a window manager's move after the first map is over.
    CLOCK_XY=$(settled 3000 win_xy "$clock")
  fi
  stop "$CLOCK_PID"
}

# case_position_as_missing VALUE_LINE WHAT: a Position that is no REG_DWORD places the clock as
# if none were stored.
case_position_as_missing() {
  local t="Position $2 reads as missing $WM_TAG" none
  clock_xy_with '"Format"=dword:00000001'
  none=$CLOCK_XY
  clock_xy_with '"Format"=dword:00000001' "$1"
  if [[ "$none" == none ]]; then
    not_ok "$t" "no viewable clock without a Position"
  else
    check "$t" "$none" "$CLOCK_XY"
  fi
}

# case_mark DESCRIPTION VALUE_LINE WANT [KNOWN_BUG]: WANT is "shown" or "hidden"; VALUE_LINE may
# be empty.
case_mark() {
  local what=$1 line=$2 want=$3 known_bug=${4:-}
  local t="Mark $what $WM_TAG"
  new_env
  if [[ -n "$line" ]]; then
    write_settings '"Format"=dword:00000001' '"Position"=dword:00000001' "$line"
  else
    write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  fi
  start_clock
  local clock client
  if ! clock=$(wait_clock 5000) || ! client=$(client_of "$clock") || [[ -z "$client" ]]; then
    not_ok "$t: clock shown" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  # Settle on the first tick (seconds caption set) before reading the mark's state, so that a
  # mark mapped late is not missed.
  sec_set() { [[ -n "$("$XPROBE" child "$client" "Sec(1)" | cut -d' ' -f6-)" ]]; }
  wait_for 3000 sec_set
  local got
  got=$("$XPROBE" child "$client" Line1) || got="no Line1 window"
  if [[ "$want" == shown ]]; then
    # x and width relative to the client area; y and height are not pinned down here.
    check "$t: Line1 viewable, x 149, 2 px wide" "149 2 viewable" \
      "$(awk '{ print $1, $3, $5 }' <<<"$got")"
  else
    KNOWN_BUG=$known_bug check "$t: Line1 not viewable" "hidden" \
      "$(awk '{ print ($5 == "viewable") ? "viewable" : ($5 == "" ? $0 : "hidden") }' <<<"$got")"
  fi
  stop "$CLOCK_PID"
  unset -f sec_set
}

group_placement() {
  local p
  for p in 0 1 2 3 4 5 6 7 9; do case_position "$p"; done
  case_position 3 '"Position"=hex(4):03,00,00,00' "written as hex(4)"
  case_position ffffffff '"Position"=dword:ffffffff'
  case_position_as_missing '"Position"=hex(b):03,00,00,00,00,00,00,00' "QWORD 3"
  case_position_as_missing '"Position"=hex(4):03,00,00' "hex(4) with 3 bytes"
  case_mark "missing" "" hidden
  case_mark "=dword:1" '"Mark"=dword:00000001' shown
  case_mark "=dword:0" '"Mark"=dword:00000000' hidden
  case_mark "=hex(4):01,00,00,00 (a DWORD)" '"Mark"=hex(4):01,00,00,00' shown
  case_mark "=hex(b) QWORD 1" '"Mark"=hex(b):01,00,00,00,00,00,00,00' hidden
  case_mark "=hex(2) string" '"Mark"=hex(2):31,00,00,00' hidden
  case_mark "=hex(4) with 5 bytes" '"Mark"=hex(4):01,00,00,00,00' hidden
  # A text that reads as the number 1 equals 1, as the program compares settings.
  case_mark '="1" (a string)' '"Mark"="1"' shown
  case_mark '="yes" (a string)' '"Mark"="yes"' hidden
}

# drag_tip FROM_X FROM_Y DX DY: presses button 1 at the given root point, moves by 1 px steps past
# the 4 px threshold, then in 10 steps to DX,DY from the start, and releases. One pointer script
# with short pauses so that motion events arrive one by one.
drag_tip() {
  local x=$1 y=$2 dx=$3 dy=$4 steps=() i
  steps=(move $((x + 1)) $((y + 1)) sleep 0.05 move "$x" "$y" sleep 0.05 down sleep 0.05)
  local sx=$(((dx > 0) - (dx < 0))) sy=$(((dy > 0) - (dy < 0)))
  for i in 1 2 3 4 5 6; do steps+=(move $((x + i * sx)) $((y + i * sy)) sleep 0.02); done
  for i in 1 2 3 4 5 6 7 8 9 10; do
    steps+=(move $((x + dx * i / 10)) $((y + dy * i / 10)) sleep 0.02)
  done
  steps+=(sleep 0.1 up sleep 0.05)
  pointer "${steps[@]}"
}

# within TOL "X Y" "X Y": true when both coordinates differ by at most TOL.
within() {
  local tol=$1 ax ay bx by
  read -r ax ay <<<"$2"
  read -r bx by <<<"$3"
  [[ -n "$ax" && -n "$bx" ]] || return 1
  local ddx=$((ax - bx)) ddy=$((ay - by))
  ((ddx < 0)) && ddx=$((-ddx))
  ((ddy < 0)) && ddy=$((-ddy))
  ((ddx <= tol && ddy <= tol))
}

# clock_at_centre: a fresh clock settled at the centre spot; sets clock, x0 and y0 (the caller's
# locals). False, after reporting T's failure, when it does not get there.
clock_at_centre() {
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000000'
  start_clock
  if ! clock=$(wait_clock 5000) || ! wait_for 2000 at_xy "$clock" "$(spot_xy 0)"; then
    not_ok "$t: clock at the centre spot" "no viewable clock at $(spot_xy 0) within 5 s"
    stop "$CLOCK_PID"
    return 1
  fi
  read -r x0 y0 <<<"$(win_xy "$clock")"
}

# Dragging the blue tip moves the window with the pointer; releasing ends the drag.
# case_drag [WHAT [KNOWN_BUG]]: WHAT names a variant in the check names.
case_drag() {
  local t="drag the tip${1:+ $1} $WM_TAG" known_bug=${2:-}
  local clock x0 y0
  clock_at_centre || return
  local dx=-230 dy=-170
  drag_tip $((x0 + 150)) $((y0 + 12)) "$dx" "$dy"
  local want="$((x0 + dx)) $((y0 + dy))"
  # Without a window manager the program follows the pointer exactly; under openbox too, since it
  # catches up with the pointer before it hands the move over.
  local tol=0
  arrived() { within "$tol" "$want" "$(win_xy "$clock")"; }
  wait_for 2000 arrived
  unset -f arrived
  local got
  got=$(win_xy "$clock")
  # Reported as the expected spot when within the tolerance, so that one check covers both.
  local shown=$got tol_note=""
  within "$tol" "$want" "$got" && shown=$want
  ((tol > 0)) && tol_note=" (within $tol px)"
  KNOWN_BUG=$known_bug check "$t: moved with the pointer by ($dx,$dy)$tol_note" "$want" "$shown"
  # After the release, pointer motion alone must not move the window any more.
  xdotool mousemove $((x0 + dx + 150 + 60)) $((y0 + dy + 12 + 40)) sleep 0.2
  check "$t: stays after the release" "$got" "$(win_xy "$clock")"
  check_true "$t: program still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# A press on the tip that moves less than 4 px is a click, not a drag: the window stays, also
# while the pointer moves on afterwards with the button up (a move handed to a window manager on a
# plain click would follow the pointer until the next click).
case_tip_click() {
  local t="click on the tip $WM_TAG"
  local clock x0 y0
  clock_at_centre || return
  local tx=$((x0 + 150)) ty=$((y0 + 12))
  xdotool mousemove "$tx" "$ty" sleep 0.05 mousedown 1 sleep 0.05 \
    mousemove $((tx + 1)) $((ty + 1)) sleep 0.02 mousemove $((tx + 3)) $((ty + 3)) sleep 0.05 \
    mouseup 1 sleep 0.05
  local i args=()
  for i in 1 2 3 4 5 6 7 8; do args+=(mousemove $((tx + 3 - 25 * i)) $((ty + 3 + 20 * i)) sleep 0.02); done
  xdotool "${args[@]}" sleep 0.2
  check "$t: window stays (press, 3 px, release, move on)" "$x0 $y0" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

# The window manager killed while it moves the clock: the server gives the window back to the
# root where it stood, and the next drag starts from there.
case_drag_manager_killed() {
  local t="a drag after the window manager died in one $WM_TAG" clock x0 y0 x1 y1 i steps=()
  clock_at_centre || return
  steps=(mousemove $((x0 + 150)) $((y0 + 12)) sleep 0.05 mousedown 1 sleep 0.05)
  for i in 1 2 3 4 5 6 7 8; do steps+=(mousemove $((x0 + 150 - 10 * i)) $((y0 + 12 + 9 * i)) sleep 0.03); done
  xdotool "${steps[@]}"
  kill -KILL "$WM_PID"
  xdotool sleep 0.1 mouseup 1
  on_root() { [[ "$(xwininfo -id "$clock" -children 2>/dev/null | awk '/Parent window id/ { print $4 }')" == "$(xwininfo -root | awk '/Window id/ { print $4 }')" ]]; }
  wait_for 3000 on_root
  unset -f on_root
  read -r x1 y1 <<<"$(win_xy "$clock")"
  drag_tip $((x1 + 150)) $((y1 + 12)) 100 0
  wait_for 2000 at_xy "$clock" "$((x1 + 100)) $y1"
  check "$t: moved by (100,0) from where it was left" "$((x1 + 100)) $y1" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

group_drag() {
  case_drag
  case_tip_click
  if [[ "$WM_TAG" == "[openbox]" ]]; then
    case_drag_manager_killed
    start_wm || not_ok "openbox again $WM_TAG" "did not announce itself"
    # Once the window manager has quit nobody else moves the window. Its _NET_SUPPORTING_WM_CHECK
    # property stays on the root, naming a window that no longer exists.
    stop "$WM_PID"
    # The program must see through the stale property and move the window itself.
    case_drag "after the window manager quit"
  fi
}
