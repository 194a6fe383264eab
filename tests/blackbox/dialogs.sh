# The Setup dialog: where it opens, what it shows of the stored settings, what Apply stores and
# does, closing it without Apply, the clock held still while it is open, and its web link.
# Uses spot_xy of placement.sh for where the clock goes.

# Where the dialog's outer top-left goes relative to the clock's: 1100 and 600 twips, in pixels.
SETUP_DX=$(awk 'BEGIN { print int(1100 / 15 + 0.5) }')
SETUP_DY=$(awk 'BEGIN { print int(600 / 15 + 0.5) }')
SETUP_URL="https://zorvane.example.org/"
# Option button of each stored Position: Option1(6) is the centre (0), Option1(0)..(5) are 1..6.
OPTIONS=("Option1(0)" "Option1(1)" "Option1(2)" "Option1(3)" "Option1(4)" "Option1(5)" "Option1(6)")

# setup_clock LOGNAME LINE...: a fresh environment with these stored values and a running,
# settled clock; sets CLOCK. False (after reporting T's failure) when no clock shows.
setup_clock() {
  local log=$1
  shift
  new_env
  write_settings "$@"
  start_clock "$log"
  if ! CLOCK=$(wait_clock 5000); then
    not_ok "$t: clock shown" "no viewable clock within 5 s ($(head -c 200 "$ENV_DIR/$log.err"))"
    stop "$CLOCK_PID"
    return 1
  fi
  settled 3000 win_xy "$CLOCK" >/dev/null   # a window manager's move after the first map
}

# open_setup ROLE: right-click (press and release of button 3) on that control of the clock;
# sets SETUP to the viewable dialog. False when none shows within 3 s.
open_setup() {
  local p
  p=$(clock_point "$CLOCK" "$1") || return 1
  xdotool mousemove $p click 3
  SETUP=$("$XPROBE" wait --title Setup --role Config --viewable --timeout 3000) || return 1
  SETUP=${SETUP%%$'\n'*}
}

# setup_shot FILE: a screenshot once the dialog is painted (the inside of Check1's white square).
setup_shot() {
  local x y w h
  read -r x y w h <<<"$(rect_of "$SETUP" Check1)"
  painted() { shot "$1" && [[ "$(pixels "$1" $((x + 11)) $((y + 12)))" == "255,255,255" ]]; }
  wait_for 3000 painted "$1"
  unset -f painted
}

# setup_states FILE: "Check1 Check2 | Option1(0) .. Option1(6)" as on/off.
setup_states() {
  local out="" r
  out="$(control_state "$1" "$SETUP" Check1) $(control_state "$1" "$SETUP" Check2) |"
  for r in "${OPTIONS[@]}"; do out+=" $(control_state "$1" "$SETUP" "$r")"; done
  echo "$out"
}

# states_want MARK FORMAT POSITION: setup_states as it should read (POSITION 0-6, else none).
states_want() {
  local out i
  out="$([[ $1 == 1 ]] && echo on || echo off) $([[ $2 == 1 ]] && echo on || echo off) |"
  for i in 1 2 3 4 5 6 0; do out+=" $([[ "$3" == "$i" ]] && echo on || echo off)"; done
  echo "$out"
}

# close_setup: a click on the dialog's own close box, the 16x14 box at the right end of its
# 22-px caption bar (x = width-21..width-6, y = 5..18 from the outer corner).
close_setup() {
  local x y w
  read -r _ x y w _ <<<"$("$XPROBE" geom "$SETUP")"
  xdotool mousemove $((x + w - 13)) $((y + 11)) click 1
}

# Right-click on a tier: the dialog opens at the clock's corner + (73,40) and shows what is
# stored (Format 1, no Mark, no Position: the centre option). While it is open the clock ignores
# its own double-click (which would end it) and its tiers stand still. The close box stores
# nothing and moves nothing.
case_setup_open() {
  local t="Setup from a tier $WM_TAG"
  setup_clock clock '"Format"=dword:00000001' || return
  local client clock_xy cx cy
  client=$(client_of "$CLOCK")
  clock_xy=$(win_xy "$CLOCK")
  read -r cx cy <<<"$clock_xy"
  cp "$SETTINGS" "$ENV_DIR/settings.before"
  if ! open_setup "Hours(2)"; then
    not_ok "$t: dialog shown" "no viewable Setup within 3 s of a right click on Hours(2)"
    stop "$CLOCK_PID"
    return
  fi
  ok "$t: dialog shown"
  check "$t: title (WM_NAME, _NET_WM_NAME)" $'Setup\nSetup' "$("$XPROBE" title "$SETUP")"
  check "$t: size" "230 177" "$("$XPROBE" geom "$SETUP" | awk '{ print $4, $5 }')"
  check "$t: outer top-left at the clock's + ($SETUP_DX,$SETUP_DY)" \
    "$((cx + SETUP_DX)) $((cy + SETUP_DY))" "$(win_xy "$SETUP")"
  local r names=""
  for r in Check1 Check2 Command1 Command2 Label2; do names+="$r=$(caption "$SETUP" "$r"); "; done
  check "$t: captions" \
    "Check1=Marker ON; Check2=Military Time; Command1=Apply; Command2=About; Label2=$SETUP_URL; " \
    "$names"
  local png="$ENV_DIR/setup.png"
  setup_shot "$png"
  check "$t: Military ticked, Marker empty, centre option" "$(states_want 0 1 0)" \
    "$(setup_states "$png")"

  # The clock under the dialog: a double-click on a tier would end the program.
  double_click $(clock_point "$CLOCK" "Hours(2)")
  sleep 0.5
  check "$t: double-click on a tier while open: still running" running \
    "$(alive "$CLOCK_PID" && echo running || echo "ended")"
  check "$t: dialog still open after that" viewable "$("$XPROBE" geom "$SETUP" | awk '{ print $1 }')"
  # Without frozen time the seconds tier moves every second, except while a dialog is open.
  local sec_a sec_b
  sec_a=$(caption "$client" "Sec(1)")
  sleep 2.5
  sec_b=$(caption "$client" "Sec(1)")
  check "$t: seconds tier stands still for 2.5 s" "$sec_a" "$sec_b"

  close_setup
  check_true "$t: close box closes it" "still there 3 s after the click" \
    "$XPROBE" wait-gone "$SETUP" 3000
  sec_moved() { [[ "$(caption "$client" "Sec(1)")" != "$sec_a" ]]; }
  check_true "$t: seconds tier moves again after closing" "Sec(1) still '$sec_a' after 3 s" \
    wait_for 3000 sec_moved
  unset -f sec_moved
  check_true "$t: close box stores nothing" "file now: $(cat "$SETTINGS")" \
    cmp -s "$ENV_DIR/settings.before" "$SETTINGS"
  check "$t: close box moves nothing" "$clock_xy" "$(win_xy "$CLOCK")"
  check_true "$t: still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# case_setup_apply NAME MARK FORMAT POSITION CLICKS... : opens the dialog on Label1 with these
# stored values (MARK "-" = not stored), checks what it shows, clicks the given controls, checks
# their new look and applies. WANT_MARK WANT_FORMAT WANT_POSITION come from the globals of that
# name (what Apply must store); the clock must then sit at the stored spot.
case_setup_apply() {
  local name=$1 mark=$2 format=$3 pos=$4
  shift 4
  local t="Setup apply, $name $WM_TAG" lines=("\"Format\"=dword:0000000$format"
    "\"Position\"=dword:0000000$pos")
  [[ "$mark" != - ]] && lines+=("\"Mark\"=dword:0000000$mark")
  setup_clock clock "${lines[@]}" || return
  local client clock_xy
  client=$(client_of "$CLOCK")
  clock_xy=$(win_xy "$CLOCK")
  if ! open_setup Label1; then
    not_ok "$t: dialog shown" "no viewable Setup within 3 s of a right click on Label1"
    stop "$CLOCK_PID"
    return
  fi
  local png="$ENV_DIR/setup.png"
  setup_shot "$png"
  check "$t: shows Mark ${mark/-/missing}, Format $format, Position $pos" \
    "$(states_want "${mark/-/0}" "$format" "$pos")" "$(setup_states "$png")"
  local r
  for r in "$@"; do
    click_role "$SETUP" "$r"
    sleep 0.1
  done
  if (($#)); then
    # Once the dialog has repainted what changed.
    local want
    want=$(states_want "$WANT_MARK" "$WANT_FORMAT" "$WANT_POSITION")
    repainted() { setup_shot "$png" && [[ "$(setup_states "$png")" == "$want" ]]; }
    wait_for 3000 repainted
    unset -f repainted
    check "$t: after clicking $*" "$want" "$(setup_states "$png")"
  fi
  click_role "$SETUP" Command1
  check_true "$t: Apply closes the dialog" "still there 3 s after the click" \
    "$XPROBE" wait-gone "$SETUP" 3000
  local want_xy
  want_xy=$(spot_xy "$WANT_POSITION")
  [[ -n "$want_xy" ]] || want_xy=$clock_xy   # no spot: the clock stays
  wait_for 2000 at_xy "$CLOCK" "$want_xy"
  check "$t: clock at the spot of Position $WANT_POSITION" "$want_xy" "$(win_xy "$CLOCK")"
  check "$t: stored values" \
    "\"Format\"=dword:0000000$WANT_FORMAT \"Mark\"=dword:0000000$WANT_MARK \"Position\"=dword:0000000$WANT_POSITION" \
    "$(setting_line Format) $(setting_line Mark) $(setting_line Position)"
  # 24-hour display shows at once; AM or PM comes with the next pass over the tiers.
  local want_label=MIL
  label_is() { [[ "$(caption "$client" Label1)" == "$1" ]]; }
  if [[ "$WANT_FORMAT" == 0 ]]; then
    want_label="AM or PM"
    wait_for 3000 eval 'label_is AM || label_is PM'
  fi
  local got_label
  got_label=$(caption "$client" Label1)
  [[ "$WANT_FORMAT" == 0 && ( "$got_label" == AM || "$got_label" == PM ) ]] && got_label="AM or PM"
  check "$t: Label1" "$want_label" "$got_label"
  unset -f label_is
  check "$t: Line1 (the mark)" "$([[ $WANT_MARK == 1 ]] && echo viewable || echo unmapped)" \
    "$(map_state "$client" Line1)"
  check_true "$t: still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# case_link WITH_OPENER: a click on the web address runs `xdg-open URL` found through PATH and
# does not wait for it (the fake one sleeps, the dialog must still answer); with no xdg-open on
# PATH nothing happens and the program keeps running.
case_link() {
  local with=$1 t="Setup web link, $1 $WM_TAG"
  new_env
  local bin="$ENV_DIR/bin" log="$ENV_DIR/xdg-open.log"
  mkdir -p "$bin"
  if [[ "$with" == "fake xdg-open" ]]; then
    # Logs its pid, its signals ignored and blocked, and its arguments (one per line), then stays
    # until the case ends it.
    printf '#!/bin/sh\nPATH=/usr/bin:/bin\necho "pid $$" >>"%s"\ngrep -E "^Sig(Ign|Blk):" /proc/$$/status >>"%s"\nfor a in "$@"; do echo "arg $a" >>"%s"; done\nexec sleep 30\n' \
      "$log" "$log" "$log" >"$bin/xdg-open"
    chmod +x "$bin/xdg-open"
  fi
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000000'
  # The clock runs with only our folder on PATH: without the fake there is no xdg-open at all.
  clock_env
  local i
  for i in "${!CLOCK_ENV[@]}"; do [[ "${CLOCK_ENV[i]}" == PATH=* ]] && CLOCK_ENV[i]="PATH=$bin"; done
  spawn "$ENV_DIR/clock" "${CLOCK_ENV[@]}" "$ZORVANE"
  CLOCK_PID=$SPAWNED
  if ! CLOCK=$(wait_clock 5000); then
    not_ok "$t: clock shown" "no viewable clock within 5 s ($(head -c 200 "$ENV_DIR/clock.err"))"
    stop "$CLOCK_PID"
    return
  fi
  settled 3000 win_xy "$CLOCK" >/dev/null
  if ! open_setup "Hours(2)"; then
    not_ok "$t: dialog shown" "no viewable Setup within 3 s of a right click on Hours(2)"
    stop "$CLOCK_PID"
    return
  fi
  click_role "$SETUP" Label2
  local opener=""
  if [[ "$with" == "fake xdg-open" ]]; then
    wait_for 5000 grep -q "^arg " "$log"
    check "$t: xdg-open started with the address alone" "arg $SETUP_URL" \
      "$(grep '^arg ' "$log" 2>/dev/null)"
    opener=$(awk '$1 == "pid" { print $2; exit }' "$log" 2>/dev/null)
    # As from a shell: none of signals 1-31 ignored (the clock's own SIGPIPE and what its starter
    # ignored; SIGCHLD ignored would make the child's own waits fail), none blocked. glibc's
    # spawn leaves its two internal signals (32, 33) ignored.
    local ign blk
    ign=$(awk '$1 == "SigIgn:" { print $2 }' "$log") blk=$(awk '$1 == "SigBlk:" { print $2 }' "$log")
    check "$t: xdg-open starts with signals 1-31 at their defaults, none blocked" "0 0" \
      "$((16#${ign:-ff} & 0x7fffffff)) $((16#${blk:-ff}))"
  else
    sleep 1
  fi
  check_true "$t: still running after the click" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  # The dialog still answers (while the fake xdg-open is still running).
  close_setup
  check_true "$t: dialog closes by its close box afterwards" "still there 3 s after the click" \
    "$XPROBE" wait-gone "$SETUP" 3000
  if [[ -n "$opener" ]]; then
    check "$t: xdg-open was still running meanwhile" running \
      "$(alive "$opener" && echo running || echo ended)"
    kill -TERM "$opener" 2>/dev/null
    # Ended, it is reaped by the clock: no zombie is left.
    gone() { [[ ! -e /proc/$opener ]]; }
    wait_for 3000 gone
    check "$t: xdg-open, once ended, is reaped" gone "$(gone && echo gone || echo "state $(awk '{ print $3 }' /proc/$opener/stat 2>/dev/null)")"
    unset -f gone
  fi
  check_true "$t: clock still running at the end" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# focused_role: the WM_WINDOW_ROLE of the window with the keyboard focus.
focused_role() {
  xprop -id "$(xdotool getwindowfocus -f)" WM_WINDOW_ROLE 2>/dev/null | sed -n 's/.*= "\(.*\)"$/\1/p'
}

# setup_role CONTROL: the WM_WINDOW_ROLE of a Setup control named as setup_keys.sh names them,
# by its caption or, for "spot N", by its place among the option buttons on the screen.
setup_role() {
  local lines
  lines=$("$XPROBE" children "$SETUP")
  if [[ $1 == spot\ * ]]; then
    awk -F'\t' '$2 ~ /^Option1\(/ { print $5, $4, $2 }' <<<"$lines" | sort -k1,1n -k2,2n |
      sed -n "$(spot_rank "${1#spot }")p" | cut -d' ' -f3
  else
    awk -F'\t' -v c="$1" '$8 == c && $2 !~ /\.client$/ { print $2; exit }' <<<"$lines"
  fi
}

# The dialog from the keyboard, by the rows of setup_keys.sh.
case_setup_keyboard() {
  local row step role t lines escaped
  for row in "${SETUP_KEY_ROWS[@]}"; do
    setup_key_row "$row"
    t="Setup from the keyboard, Position ${KEY_POS/-/missing} $WM_TAG"
    lines=('"Format"=dword:00000001')
    [[ "$KEY_POS" != - ]] && lines+=("\"Position\"=dword:0000000$KEY_POS")
    setup_clock clock "${lines[@]}" || continue
    if ! open_setup "Hours(2)"; then
      not_ok "$t: opens" "no Setup within 3 s"
      stop "$CLOCK_PID"
      continue
    fi
    focus_is() { [[ "$(focused_role)" == "$1" ]]; }
    role=$(setup_role "Marker ON")
    wait_for 2000 focus_is "$role"
    check "$t: the focus starts on Marker ON" "${role:-Marker ON}" "$(focused_role)"
    xdotool key space
    escaped=false
    for step in "${KEY_STEPS[@]}"; do
      role=$(setup_role "${step#*:}")
      xdotool key "${step%%:*}"
      [[ ${step%%:*} == Escape ]] && escaped=true
      wait_for 1000 focus_is "$role"
      check "$t: ${step%%:*} to ${step#*:}" "${role:-${step#*:}}" "$(focused_role)"
    done
    unset -f focus_is
    # The keys after Escape were answered inside Setup, so Escape had been handled by then.
    $escaped && check "$t: Escape leaves Setup open" 1 \
      "$("$XPROBE" count --title Setup --role Config --viewable)"
    xdotool key Return
    check_true "$t: Enter on Apply closes it" "Setup still there" \
      wait_for 3000 no_setup
    check "$t: Apply stored Space's tick and the chosen spot" \
      "\"Mark\"=dword:00000001 \"Position\"=dword:0000000$KEY_WANT" "$(setting_line Mark) $(setting_line Position)"
    stop "$CLOCK_PID"
  done
}

no_setup() { [[ "$("$XPROBE" count --title Setup --role Config --viewable)" == 0 ]]; }

group_setup() {
  case_setup_keyboard
  case_setup_open
  # Stored Position 3 and Mark 1 in 12-hour display; then everything turned the other way.
  WANT_MARK=0 WANT_FORMAT=1 WANT_POSITION=1 \
    case_setup_apply "from top-right, 12h, mark to top-left, 24h, no mark" 1 0 3 \
    Check1 Check2 "Option1(0)"
  WANT_MARK=1 WANT_FORMAT=0 WANT_POSITION=4 \
    case_setup_apply "from centre, 24h to bottom-left, 12h, mark" - 1 0 \
    Check1 Check2 "Option1(3)"
  # Position 9 selects no option; Apply then writes the old Position again.
  WANT_MARK=0 WANT_FORMAT=1 WANT_POSITION=9 \
    case_setup_apply "Position 9 unchanged" 0 1 9
  case_link "fake xdg-open"
  case_link "no xdg-open"
}
