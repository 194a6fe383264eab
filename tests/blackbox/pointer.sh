# Double-clicks on the clock: on the mode label (24-hour <-> 12-hour), on the dark bar (the
# alignment mark), and anywhere else inside the triangle (the program ends).

# A frozen afternoon instant (UTC): the hour tier reads 13..17 in 24-hour display, 1..5 in 12-hour.
POINTER_WHEN="2009-12-31 15:05:07"

# hours_want FORMAT: the five captions of Hours(0..4) at POINTER_WHEN, space-separated.
hours_want() {
  local h
  h=$(date -u -d "$POINTER_WHEN" '+%-H')
  awk -v h="$h" -v f="$1" 'BEGIN {
      for (k = 0; k < 5; k++) {
        x = ((h + k - 2) % 24 + 24) % 24
        if (f == 0) x = (x == 0) ? 12 : (x > 12 ? x - 12 : x)
        printf "%s%d", (k ? " " : ""), x
      }
    }'
}

# hours_got CLIENT: the captions the clock shows in Hours(0..4).
hours_got() {
  local k out=""
  for k in 0 1 2 3 4; do out+="${out:+ }$(caption "$1" "Hours($k)")"; done
  echo "$out"
}

# pointer_clock: a clock at the top-left spot, frozen at POINTER_WHEN, settled on its first pass
# over the tiers; sets CLOCK and CLIENT. False (after reporting T's failure) when none shows.
pointer_clock() {
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock_at "$POINTER_WHEN"
  shown_clock || return 1
  wait_for 2000 at_xy "$CLOCK" "$(spot_xy 1)"
  local want
  want=$(hours_want 1)
  first_pass() { [[ "$(hours_got "$CLIENT")" == "$want" ]]; }
  wait_for 3000 first_pass
  unset -f first_pass
}

# Label1 switches the hour display and stores Format; Label2 (the 5-px bar) switches the mark and
# stores Mark. Each takes effect and is stored at once; twice goes back.
case_pointer_switches() {
  local t="double-click on the labels $WM_TAG"
  pointer_clock || return
  local h24 h12 ampm p1 p2
  h24=$(hours_want 1)
  h12=$(hours_want 0)
  ampm=$(date -u -d "$POINTER_WHEN" '+%p')
  check "$t: before: 24-hour" "MIL / $h24" "$(caption "$CLIENT" Label1) / $(hours_got "$CLIENT")"
  p1=$(clock_point "$CLOCK" Label1)
  p2=$(clock_point "$CLOCK" Label2)

  stored() { [[ "$(setting_line "$1")" == "$2" ]]; }
  double_click $p1
  wait_for 2000 stored Format '"Format"=dword:00000000'
  check "$t: Label1 once: 12-hour" "$ampm / $h12" \
    "$(caption "$CLIENT" Label1) / $(hours_got "$CLIENT")"
  check "$t: Label1 once: stored" '"Format"=dword:00000000' "$(setting_line Format)"
  double_click $p1
  wait_for 2000 stored Format '"Format"=dword:00000001'
  check "$t: Label1 twice: 24-hour again" "MIL / $h24" \
    "$(caption "$CLIENT" Label1) / $(hours_got "$CLIENT")"
  check "$t: Label1 twice: stored" '"Format"=dword:00000001' "$(setting_line Format)"

  check "$t: no mark before" unmapped "$(map_state "$CLIENT" Line1)"
  double_click $p2
  wait_for 2000 stored Mark '"Mark"=dword:00000001'
  check "$t: Label2 once: mark shown and stored" 'viewable "Mark"=dword:00000001' \
    "$(map_state "$CLIENT" Line1) $(setting_line Mark)"
  double_click $p2
  wait_for 2000 stored Mark '"Mark"=dword:00000000'
  check "$t: Label2 twice: mark hidden and stored" 'unmapped "Mark"=dword:00000000' \
    "$(map_state "$CLIENT" Line1) $(setting_line Mark)"
  unset -f stored
  check "$t: hour display untouched by Label2" "MIL / $h24" \
    "$(caption "$CLIENT" Label1) / $(hours_got "$CLIENT")"
  check_true "$t: still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# case_pointer_ends WHAT: a double-click on WHAT (a control's role, or "background": a rule line
# in the middle of the triangle, which counts as the client area) ends the program with status 0
# and leaves the settings file as it was.
case_pointer_ends() {
  local what=$1 t="double-click on $1 $WM_TAG"
  pointer_clock || return
  cp "$SETTINGS" "$ENV_DIR/settings.before"
  local p
  if [[ "$what" == background ]]; then
    # Line6 runs between the minute and the hour tiers; no other control covers its middle row.
    p=$(clock_point "$CLOCK" Line6)
  else
    p=$(clock_point "$CLOCK" "$what")
  fi
  if [[ -z "$p" ]]; then
    not_ok "$t: target found" "no point of $what inside the triangle"
    stop "$CLOCK_PID"
    return
  fi
  double_click $p
  if wait_exit "$CLOCK_PID" 5000; then
    check "$t: program ends with status 0" 0 "$EXIT_STATUS"
  else
    not_ok "$t: program ends with status 0" "still running 5 s after the double-click"
    stop "$CLOCK_PID"
  fi
  check_true "$t: settings file unchanged" "file now: $(cat "$SETTINGS")" \
    cmp -s "$ENV_DIR/settings.before" "$SETTINGS"
  no_clock() { [[ "$(count_clocks)" == 0 ]]; }
  wait_for 2000 no_clock
  unset -f no_clock
  check "$t: clock window gone" 0 "$(count_clocks)"
}

# case_pointer_stays WHAT BUTTON: a double-click with another button than the left one is no
# double-click: the program runs on.
case_pointer_stays() {
  local t="button $2 double-click on $1 $WM_TAG" p
  pointer_clock || return
  if [[ "$1" == background ]]; then p=$(clock_point "$CLOCK" Line6); else p=$(clock_point "$CLOCK" "$1"); fi
  xdotool mousemove $p click --repeat 2 --delay 80 "$2"
  sleep 1
  check_true "$t: still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# The alignment mark is drawing only: a right click where it crosses a tier is a right click on
# that tier's cell, which opens Setup.
case_mark_right_click() {
  local t="right click on the mark over a tier $WM_TAG" x y
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001' '"Mark"=dword:00000001'
  start_clock_at "$POINTER_WHEN"
  if ! CLOCK=$(wait_clock 5000) || ! wait_for 2000 at_xy "$CLOCK" "$(spot_xy 1)"; then
    not_ok "$t: clock shown" "no clock at its spot within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  # Line1 stands at x 150 of the client area; the hour tier spans rows 80 to 101.
  read -r x y <<<"$(win_xy "$CLOCK")"
  xdotool mousemove $((x + 3 + 150)) $((y + 22 + 90)) click 3
  setup_up() { "$XPROBE" wait --title Setup --role Config --viewable --timeout 3000 >/dev/null; }
  check_true "$t: Setup opens" "no Setup window" setup_up
  unset -f setup_up
  stop "$CLOCK_PID"
}

group_pointer() {
  case_pointer_stays background 3
  case_pointer_stays "Hours(2)" 2
  case_mark_right_click
  case_pointer_switches
  case_pointer_ends "Hours(2)"
  case_pointer_ends Label3
  case_pointer_ends background
}
