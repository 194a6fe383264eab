# The cases of tests/windows/blackbox.sh: what a user of the Windows program sees and does, under
# Wine. Needs EXE (the program under test), TAG (its name in check names) and WINPROBE.

# The greeting text, spot_xy (placement spots) and SETUP_DX/SETUP_DY come from the X11 tests: the
# program must behave the same on both.
source "$HERE/../blackbox/startup.sh"
source "$HERE/../blackbox/placement.sh"
source "$HERE/../blackbox/dialogs.sh"
source "$HERE/../blackbox/tiers.sh"
# shellcheck source=lib.sh
source "$HERE/lib.sh"

# First start: the greeting first, the clock after OK, and only "Format" stored. A double-click
# on a tier then ends the program, with status 0.
case_first_start() {
  local t="first start $TAG" box
  fresh_key
  start_exe first
  if ! box=$(wait_window Zorvane '#32770'); then
    not_ok "$t: greeting shown" "no message box within 8 s"
    end_exe "$EXE_PID"
    return
  fi
  check "$t: greeting text" "$GREETING" "$(msgbox_says "$box")"
  check "$t: clock hidden under the greeting" "hidden" "$(clock_lines | cut -f5)"
  check "$t: nothing stored while the greeting is up" "" "$(reg_values)"
  press_ok "$box"
  local clock
  if ! clock=$(wait_window Zorvane ZorvaneForm 5000); then
    not_ok "$t: clock shown after OK" "no visible clock within 5 s"
    end_exe "$EXE_PID"
    return
  fi
  ok "$t: clock shown after OK"
  check "$t: stored values" "Format REG_DWORD 0x1" "$(reg_values)"
  check "$t: no Position stored: the clock stands at the centre" "$(spot_xy 0) 800 800" \
    "$(rect "$clock" | awk '{ print $1, $2, $3, $4 }')"
  # The day tier's cell under the mark spot: a cell of a tier, not a line or Label1.
  local day
  day=$(child_where "$clock" '$2 == "Static" && $3 == "'"$(date -u +%-d)"'" && $4 ~ / 48 22$/' | cut -f4)
  if [[ -z "$day" ]]; then
    not_ok "$t: double-click on the day tier ends it" "no day cell captioned $(date -u +%-d)"
    end_exe "$EXE_PID"
    return
  fi
  click_centre "$day" 1 2
  if wait_exit "$EXE_PID" 5000; then
    check "$t: double-click on the day tier ends it, status 0" 0 "$EXIT_STATUS"
    forget "$EXE_PID"
  else
    not_ok "$t: double-click on the day tier ends it" "still running 5 s after the double-click"
    end_exe "$EXE_PID"
  fi
}

# loader_for EXE: Wine's loader for the program's kind of PE file (machine 014c: i386).
loader_for() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  if [[ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" == 014c ]]; then
    echo /usr/lib/wine/wine
  else
    echo /usr/lib/wine/wine64
  fi
}

# tier_cells HWND: "tier: caption@x" of each cell and Label1 (x relative to the client area, "-"
# where EXPECTED, the matching expected_cells output, has none).
tier_cells() {
  local cx got
  cx=$(probe client "$1" | cut -d' ' -f1)
  # The cells and Label1 are the first 33 controls made, in the order expected_cells lists. The
  # newest control is on top and the listing goes from the top down: read it backwards.
  got=$(probe children "$1" | tac | head -33 | awk -F'\t' -v cx="$cx" '{ split($4, r, " "); print $3 "\t" r[1] - cx }')
  paste <(cut -f1,4 <<<"$2") <(printf '%s\n' "$got") |
    awk -F'\t' '{ print $1 ": " $3 "@" ($2 == "-" ? "-" : $4) }'
}
want_cells() { awk -F'\t' '{ print $1 ": " $3 "@" $4 }' <<<"$1"; }

# The tiers at frozen instants: every cell's caption and, where a rule places it, its x in the
# client area, as the X11 tests expect them; formats alternate between 24- and 12-hour. The
# program's waits run on Wine's server, which keeps real time.
# Surprises: 32-bit Wine reads the clock through calls libfaketime does not wrap, so the shim
# TIME64_SHIM (time64_shim.c, built by blackbox.sh) goes first; and the `wine` script's detour
# through start.exe must be skipped, so the loader is called directly.
case_tiers() {
  local i=0 when format t want loader preload='/usr/$LIB/faketime/libfaketime.so.1'
  loader=$(loader_for "$EXE")
  if [[ $loader == */wine ]]; then
    if [[ -z "${TIME64_SHIM:-}" ]]; then
      skip "tiers at frozen instants $TAG" "no shim for 32-bit Wine's clock (gcc -m32 could not build it)"
      return
    fi
    preload="$TIME64_SHIM/\$LIB/zv-time64.so $preload"
  fi
  for when in "${TIER_INSTANTS[@]}"; do
    format=$(((i + 1) % 2))
    i=$((i + 1))
    t="tiers at $when, Format $format $TAG"
    fresh_key Format REG_DWORD "$format"
    spawn "$BB_TMP/tiers" env DONT_FAKE_MONOTONIC=1 FAKETIME="$when" LD_PRELOAD="$preload" "$loader" "$EXE"
    EXE_PID=$SPAWNED
    if ! CLOCK=$(wait_window Zorvane ZorvaneForm); then
      not_ok "$t: clock shown" "no visible clock within 8 s ($(head -c 200 "$BB_TMP/tiers.err"))"
      end_exe "$EXE_PID"
      continue
    fi
    want=$(expected_cells "$when" "$format")
    # Once the first pass over the tiers has drawn them.
    tiers_are() { [[ "$(tier_cells "$CLOCK" "$want")" == "$(want_cells "$want")" ]]; }
    wait_for 3000 tiers_are
    unset -f tiers_are
    check "$t" "$(want_cells "$want")" "$(tier_cells "$CLOCK" "$want")"
    end_exe "$EXE_PID"
  done
}

# The tiers on the live clock: read between two readings of the time within one minute, every
# tier but the seconds and the minutes' places (which move each second) is pinned down.
case_tiers_now() {
  local t="tiers now $TAG" before after cells want got tries=0
  running_clock Format REG_DWORD 1 || return
  # Once the first pass has drawn the tiers: the year cell shows this year.
  drawn() { [[ -n "$(child_where "$CLOCK" '$3 == "'"$(date -u +%Y)"'"')" ]]; }
  wait_for 3000 drawn
  unset -f drawn
  while ((tries < 3)); do
    tries=$((tries + 1))
    before=$(date -u '+%Y-%m-%d %H:%M:%S')
    # A place that falls on a half pixel at this instant may round either way: not pinned.
    cells=$(expected_cells "$before" 1 | awk -F'\t' -v OFS='\t' '$1 == "Min" || $4 ~ /^tie/ { $4 = "-" } 1')
    want=$(grep -v '^Sec' <<<"$cells")
    got=$(tier_cells "$CLOCK" "$cells" | grep -v '^Sec:')
    after=$(date -u '+%Y-%m-%d %H:%M')
    [[ "${before:0:16}" == "$after" ]] && break
  done
  check "$t ($before UTC)" "$(want_cells "$want")" "$got"
  end_exe "$EXE_PID"
}

# The window shows only the triangle and its caption tip; everything else is the desktop.
case_shape() {
  local t="shape $TAG" png="${SHAPE_PNG:-$BB_TMP/shape.png}"
  running_clock Format REG_DWORD 1 Position REG_DWORD 1 || return
  wait_for 3000 window_at "$CLOCK" "0 0"
  check "$t: at the top-left spot" "0 0 800 800" "$(rect "$CLOCK")"
  # Shown is not yet painted: shots until the tip, the middle and a low corner are drawn.
  drawn() { shot "$png" && ! desk_pixels "$png" 150 8 150 150 10 222 | grep -qx "$DESK_RGB"; }
  wait_for 3000 drawn
  unset -f drawn
  # see = the desktop shows; else the clock. Points 3 px inside and outside each edge of the
  # triangle (150,0),(0,225),(300,225), plus far parts of the 800 x 800 window.
  local got
  got=$(desk_pixels "$png" 150 4 146 4  154 4  100 80 94 80  200 80 206 80  10 222 10 228 \
    290 222 290 228  150 150  600 100 400 400 799 799 302 224 | awk -v d="$DESK_RGB" \
    '{ printf "%s%s", (NR > 1 ? " " : ""), ($0 == d ? "see" : "clock") }')
  check "$t: triangle only" \
    "clock see see clock see clock see clock see clock see clock see see see see" "$got"
  # The tip is the caption: one colour across it, neither the desktop nor the client's beige.
  local tip
  tip=$(desk_pixels "$png" 150 6 148 8 152 8 | sort -u)
  check "$t: caption colour at the tip" "yes" \
    "$([[ $(wc -l <<<"$tip") == 1 && "$tip" != "$DESK_RGB" && "$tip" != "189,183,149" ]] && echo yes || echo "no: $tip")"
  end_exe "$EXE_PID"
}

# settings_case DESCRIPTION WHAT WANT NAME TYPE DATA...: stored values before a start and what
# the running clock shows. WHAT: mark (Line1 visible/hidden), label (Label1's caption, or
# "greeting" when the first-start greeting comes instead) or xy (the clock's top-left).
settings_case() {
  local desc=$1 what=$2 want=$3 t="stored $1 $TAG"
  shift 3
  fresh_key "$@"
  start_exe settings
  local box got=""
  # What the clock shows; read again while it comes out empty (a loaded machine can answer the
  # first look before the window is found).
  shows() {
    CLOCK=$(wait_window Zorvane ZorvaneForm 100) || return 1
    case $what in
      mark) got=$(child_where "$CLOCK" '$2 == "Static" && $3 == "" && $4 ~ / 2 [0-9][0-9][0-9]$/' | cut -f5) ;;
      label) got=$(child_where "$CLOCK" '$3 == "MIL" || $3 == "AM" || $3 == "PM"' | cut -f3) ;;
      xy) got=$(settled 2000 rect "$CLOCK" | awk '{ print $1, $2 }') ;;
    esac
    [[ -n "$got" ]]
  }
  if box=$(probe wait Zorvane 8000 | grep -P '\t#32770\t' | cut -f1) && [[ -n "$box" ]]; then
    got=greeting
  elif ! wait_for 2000 shows; then
    got=${got:-"nothing read: clock ${CLOCK:-not found}, $(probe children "${CLOCK:-0}" | wc -l) controls, program $(alive "$EXE_PID" && echo running || echo ended)"}
  fi
  unset -f shows
  check "$t" "$want" "$got"
  end_exe "$EXE_PID"
}

case_settings() {
  local am=AM
  (($(date -u +%-H) >= 12)) && am=PM
  settings_case "Mark REG_DWORD 1" mark visible Format REG_DWORD 1 Mark REG_DWORD 1
  settings_case "Mark REG_DWORD 0" mark hidden Format REG_DWORD 1 Mark REG_DWORD 0
  settings_case "Mark REG_SZ 1 (a text equal to 1)" mark visible Format REG_DWORD 1 Mark REG_SZ 1
  settings_case "Mark REG_EXPAND_SZ 1 (reads as missing)" mark hidden \
    Format REG_DWORD 1 Mark REG_EXPAND_SZ 1
  settings_case "Mark REG_QWORD 1 (reads as missing)" mark hidden Format REG_DWORD 1 Mark REG_QWORD 1
  settings_case "Format REG_DWORD 1" label MIL Format REG_DWORD 1
  settings_case "Format REG_DWORD 0" label "$am" Format REG_DWORD 0
  settings_case "Format REG_SZ 1" label MIL Format REG_SZ 1
  settings_case "Format REG_EXPAND_SZ 1 (a first start)" label greeting Format REG_EXPAND_SZ 1
  settings_case "Format REG_QWORD 1 (a first start)" label greeting Format REG_QWORD 1
  settings_case "Position REG_DWORD 3" xy "$(spot_xy 3)" Format REG_DWORD 1 Position REG_DWORD 3
  settings_case "Position REG_SZ 5" xy "$(spot_xy 5)" Format REG_DWORD 1 Position REG_SZ 5
  settings_case "Position REG_EXPAND_SZ 3 (the centre)" xy "$(spot_xy 0)" \
    Format REG_DWORD 1 Position REG_EXPAND_SZ 3
  settings_case "Position REG_QWORD 3 (the centre)" xy "$(spot_xy 0)" \
    Format REG_DWORD 1 Position REG_QWORD 3
  # A REG_DWORD is 4 bytes; one of another size reads as missing rather than as what the read
  # happened to leave in memory.
  settings_case "Position REG_DWORD of 4 bytes, imported" xy "$(spot_xy 3)" \
    Format REG_DWORD 1 Position 'hex(4)' 03,00,00,00
  settings_case "Position REG_DWORD of 3 bytes (the centre)" xy "$(spot_xy 0)" \
    Format REG_DWORD 1 Position 'hex(4)' 03,00,00
  settings_case "Mark REG_DWORD of 5 bytes (hidden)" mark hidden \
    Format REG_DWORD 1 Mark 'hex(4)' 01,00,00,00,00
  settings_case "Format REG_DWORD of 8 bytes (a first start)" label greeting \
    Format 'hex(4)' 01,00,00,00,00,00,00,00
}

# refused_copy T EXE FIRST_PID: a second copy, started while the clock FIRST_PID runs, says so
# and ends with status 0; the first one keeps running.
refused_copy() {
  local t=$1 first=$3 box
  start_exe second "$2"
  local second=$EXE_PID
  if ! box=$(probe wait Zorvane 8000 '#32770' | cut -f1) || [[ -z "$box" ]]; then
    not_ok "$t: message shown" "no message box within 8 s"
    end_exe "$second"
    return
  fi
  check "$t: message" "Zorvane is already Running" "$(msgbox_says "$box")"
  press_ok "$box"
  if wait_exit "$second" 5000; then
    check "$t: ends after OK, status 0" 0 "$EXIT_STATUS"
    forget "$second"
  else
    not_ok "$t: ends after OK" "still running 5 s after OK"
    end_exe "$second"
  fi
  check "$t: one clock, still running" "1 running" \
    "$(clock_lines visible | wc -l) $(alive "$first" && echo running || echo ended)"
}

case_second_copy() {
  local t="second copy $TAG"
  running_clock Format REG_DWORD 1 || return
  local first=$EXE_PID
  refused_copy "$t" "$EXE" "$first"
  end_exe "$first"
}

# Started at the same instant, exactly one runs.
case_same_instant() {
  local t="two copies at once $TAG"
  fresh_key Format REG_DWORD 1
  start_exe a
  local a=$EXE_PID
  start_exe b
  local b=$EXE_PID
  local box
  box=$(probe wait Zorvane 8000 '#32770' | cut -f1)
  wait_window Zorvane ZorvaneForm >/dev/null
  check "$t: one refused" "Zorvane is already Running" "$([[ -n "$box" ]] && msgbox_says "$box")"
  # Pressed from outside: the winner's clock may come up over the box and take a mouse click.
  [[ -n "$box" ]] && probe press "$box" OK
  one_left() { ! alive "$a" || ! alive "$b"; }
  wait_for 5000 one_left
  unset -f one_left
  check "$t: one clock and one process left" "1 1" \
    "$(clock_lines visible | wc -l) $( (alive "$a" && echo x; alive "$b" && echo x) | wc -l)"
  end_exe "$a"
  end_exe "$b"
}

# The other build while this one runs: the same program, so refused as well.
case_other_build_refused() {
  local t="$(basename "$(dirname "$2")") while $(basename "$(dirname "$1")") runs"
  EXE=$1
  running_clock Format REG_DWORD 1 || return
  local first=$EXE_PID
  refused_copy "$t" "$2" "$first"
  end_exe "$first"
}

# option_rect N: the Setup dialog's option button for Position N (by their order on the screen,
# SPOT_ORDER in setup_keys.sh).
option_rect() {
  probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "" { print $4 }' |
    sort -k2,2n -k1,1n | sed -n "$(spot_rank "$1")p"
}

# button_states: "Marker ON, Military Time | the options" as on/off, the options in their order
# on screen: Positions 1 2 3, 0, 4 5 6.
button_states() {
  local lines
  lines=$(probe children "$SETUP")
  printf '%s %s |' "$(awk -F'\t' '$3 == "Marker ON" { print $6 }' <<<"$lines")" \
    "$(awk -F'\t' '$3 == "Military Time" { print $6 }' <<<"$lines")"
  awk -F'\t' '$2 == "Button" && $3 == "" { split($4, r, " "); print r[2], r[1], $6 }' <<<"$lines" |
    sort -k1,1n -k2,2n | awk '{ printf " %s", $3 }'
  echo
}

# open_setup: a right click on this year's cell of CLOCK; sets SETUP. False, after reporting
# T's failure and ending the program, when no dialog shows.
open_setup() {
  click_centre "$(child_where "$CLOCK" '$3 == "'"$(date -u +%Y)"'"' | cut -f4)" 3
  SETUP=$(wait_window Setup ZorvaneForm 3000) && return
  not_ok "$t: Setup opens on a right click" "no visible Setup within 3 s"
  end_exe "$EXE_PID"
  return 1
}

# A right click opens Setup over the clock; Apply stores what it shows and moves the clock.
case_setup() {
  local t="Setup $TAG"
  running_clock Format REG_DWORD 1 Position REG_DWORD 2 || return
  wait_for 3000 window_at "$CLOCK" "$(spot_xy 2)"
  local cx cy
  open_setup || return
  ok "$t: opens on a right click"
  read -r cx cy _ <<<"$(rect "$CLOCK")"
  check "$t: stands 1100 x 600 twips from the clock" "$((cx + SETUP_DX)) $((cy + SETUP_DY))" \
    "$(rect "$SETUP" | awk '{ print $1, $2 }')"
  check "$t: shows the stored settings" "off on | off on off off off off off" "$(button_states)"
  click_centre "$(probe children "$SETUP" | awk -F'\t' '$3 == "Marker ON" { print $4 }')"
  click_centre "$(option_rect 6)"
  states_are() { [[ "$(button_states)" == "$1" ]]; }
  wait_for 2000 states_are "on on | off off off off off off on"
  unset -f states_are
  check "$t: clicks tick Marker ON and Position 6" "on on | off off off off off off on" \
    "$(button_states)"
  click_centre "$(probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "Apply" { print $4 }')"
  check_true "$t: Apply closes it" "still there 3 s after Apply" probe wait-gone "$SETUP" 3000
  wait_for 3000 window_at "$CLOCK" "$(spot_xy 6)"
  check "$t: Apply moves the clock to Position 6" "$(spot_xy 6)" "$(rect "$CLOCK" | cut -d' ' -f1-2)"
  check "$t: Apply stores the settings" \
    "$(printf 'Format REG_DWORD 0x1\nMark REG_DWORD 0x1\nPosition REG_DWORD 0x6')" \
    "$(reg_values | sort)"
  check "$t: the mark shows" visible \
    "$(child_where "$CLOCK" '$2 == "Static" && $3 == "" && $4 ~ / 2 [0-9][0-9][0-9]$/' | cut -f5)"
  end_exe "$EXE_PID"
}

# Setup from the keyboard, by the rows of setup_keys.sh, as on X11.
case_setup_keyboard() {
  local row step want_at t escaped
  for row in "${SETUP_KEY_ROWS[@]}"; do
    setup_key_row "$row"
    t="Setup from the keyboard, Position ${KEY_POS/-/missing} $TAG"
    if [[ "$KEY_POS" == - ]]; then running_clock Format REG_DWORD 1 || continue
    else running_clock Format REG_DWORD 1 Position REG_DWORD "$KEY_POS" || continue; fi
    open_setup || continue
    focus_on() { [[ "$(probe focus "$SETUP" | cut -f4)" == "$1" ]]; }
    want_at=$(probe children "$SETUP" | awk -F'\t' '$3 == "Marker ON" { print $4 }')
    wait_for 2000 focus_on "$want_at"
    check "$t: the focus starts on Marker ON" "Marker ON" "$(probe focus "$SETUP" | cut -f3)"
    xdotool key space
    escaped=false
    for step in "${KEY_STEPS[@]}"; do
      case "${step#*:}" in
        spot*) want_at=$(option_rect "${step##* }") ;;
        *) want_at=$(probe children "$SETUP" | awk -F'\t' -v c="${step#*:}" '$3 == c { print $4 }') ;;
      esac
      xdotool key "${step%%:*}"
      [[ ${step%%:*} == Escape ]] && escaped=true
      wait_for 2000 focus_on "$want_at"
      check "$t: ${step%%:*} to ${step#*:}" "$want_at" "$(probe focus "$SETUP" | cut -f4)"
    done
    unset -f focus_on
    # The keys after Escape were answered inside Setup, so Escape had been handled by then.
    $escaped && check "$t: Escape leaves Setup open" visible "$(probe top |
      awk -F'\t' -v w="$SETUP" '$1 == w { print $5 }')"
    xdotool key Return
    check_true "$t: Enter on Apply closes it" "still there 3 s after Enter" probe wait-gone "$SETUP" 3000
    check "$t: Apply stored Space's tick and the chosen spot" \
      "$(printf 'Format REG_DWORD 0x1\nMark REG_DWORD 0x1\nPosition REG_DWORD 0x%s' "$KEY_WANT")" "$(reg_values | sort)"
    end_exe "$EXE_PID"
  done
}

# About, from Setup: the picture over a capture of the screen, so its magenta parts show what
# was behind it (here the clock and the desktop), never magenta itself.
case_about() {
  local t="About $TAG" before="$BB_TMP/before.png" after="$BB_TMP/after.png"
  # A 3-D dark-shadow colour of the user's own, which the OK box must show.
  wine reg add 'HKCU\Control Panel\Colors' /v ButtonDkShadow /d "10 120 200" /f >/dev/null 2>&1
  running_clock Format REG_DWORD 1 Position REG_DWORD 0 || return
  open_setup || return
  # Once Setup is painted: the screen there no longer changes.
  local sx sy sw sh
  read -r sx sy sw sh <<<"$(rect "$SETUP")"
  settled 3000 eval 'shot "$before" && pixels "$before" $((sx + 10)) $((sy + 10)) $((sx + sw / 2)) $((sy + sh / 2))' >/dev/null
  click_centre "$(probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "About" { print $4 }')"
  local about=""
  find_about() {
    about=$(probe top | awk -F'\t' '$2 == "ZorvaneForm" && $5 == "visible" && $4 ~ / 419 336$/ { print $1 }')
    [[ -n "$about" ]]
  }
  wait_for 3000 find_about
  unset -f find_about
  if [[ -z "$about" ]]; then
    not_ok "$t: shown" "no visible 419 x 336 window within 3 s of a click on About"
    end_exe "$EXE_PID"
    return
  fi
  ok "$t: shown"
  local ax ay sx sy sw sh
  read -r ax ay _ <<<"$(rect "$about")"
  read -r sx sy sw sh <<<"$(rect "$SETUP")"
  check "$t: centred over Setup (within 1 px)" yes "$(awk -v a="$ax $ay" -v s="$sx $sy $sw $sh" '
    BEGIN { split(a, A, " "); split(s, S, " ")
      dx = 2 * A[1] + 419 - 2 * S[1] - S[3]; dy = 2 * A[2] + 336 - 2 * S[2] - S[4]
      print (dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2) ? "yes" : "no: " dx / 2 ", " dy / 2 }')"
  check "$t: the credits start" "Zorvane" \
    "$(probe children "$about" | awk -F'\t' '$2 == "Edit" && $3 ~ /Zorvane/ { print "Zorvane"; exit }')"
  # The corners, (5,5) and a point left of the panel where the clock stood.
  local pts=() p
  for p in "0 0" "418 0" "0 335" "418 335" "5 5" "24 262"; do
    set -- $p
    pts+=($((ax + $1)) $((ay + $2)))
  done
  # Painted once the panel's inside differs from what was there.
  painted() {
    shot "$after" && [[ "$(desk_pixels "$after" $((ax + 200)) $((ay + 260)))" != \
      "$(desk_pixels "$before" $((ax + 200)) $((ay + 260)))" ]]
  }
  wait_for 3000 painted
  unset -f painted
  local want got
  want=$(desk_pixels "$before" "${pts[@]}" | xargs)
  got=$(desk_pixels "$after" "${pts[@]}" | xargs)
  check "$t: see-through pixels show what was behind" "$want" "$got"
  check "$t: no magenta left" "" "$(grep -o '255,0,255' <<<"$got")"
  local ok_x ok_y
  read -r ok_x ok_y _ <<<"$(probe children "$about" | awk -F'\t' '$2 == "Edit" && $3 == "OK" { print $4 }')"
  check "$t: the OK box in the system's 3-D dark-shadow colour" "10,120,200" \
    "$(desk_pixels "$after" $((ok_x + 3)) $((ok_y + 3)))"
  check "$t: something of the clock shows through" yes \
    "$([[ "$(desk_pixels "$after" "${pts[10]}" "${pts[11]}")" != "$DESK_RGB" ]] && echo yes || echo no)"
  # A credit line every 1.5 s, on the program's own timers.
  credits() { probe children "$about" | awk -F'\t' '$2 == "Edit" && $3 != "OK" { print $3; exit }'; }
  local credits0
  credits0=$(credits)
  rolled() { [[ "$(credits)" != "$credits0" ]]; }
  check_true "$t: the next credit line rolls in" "the credits stayed '$credits0' for 4 s" \
    wait_for 4000 rolled
  unset -f credits rolled
  click_centre "$(probe children "$about" | awk -F'\t' '$2 == "Edit" && $3 == "OK" { print $4 }')"
  check_true "$t: a click on OK closes it" "still there 3 s after the click" \
    probe wait-gone "$about" 3000
  check "$t: the clock runs on" "1 running" \
    "$(clock_lines visible | wc -l) $(alive "$EXE_PID" && echo running || echo ended)"
  end_exe "$EXE_PID"
  wine reg add 'HKCU\Control Panel\Colors' /v ButtonDkShadow /d "64 64 64" /f >/dev/null 2>&1
}

# cpu_ticks PID...: the CPU time the processes have used so far, in clock ticks (1/100 s).
cpu_ticks() {
  local p sum=0 t
  for p in "$@"; do
    t=$(awk '{ print $14 + $15 }' "/proc/$p/stat" 2>/dev/null)
    sum=$((sum + ${t:-0}))
  done
  echo "$sum"
}

# With every name the pause's timer could take already held by an event, no waitable timer can be
# made: the clock must still tick, and must not spin instead of pausing.
case_no_timer() {
  local t="no waitable timer $TAG"
  spawn "$BB_TMP/squat" wine "$WINPROBE" squat "$(basename "$EXE" .exe)Timer"
  local squat=$SPAWNED
  squatting() { grep -q squatting "$BB_TMP/squat.out"; }
  wait_for 20000 squatting
  unset -f squatting
  check "$t: every timer name taken" "squatting 3600" "$(tr -d "\r" <"$BB_TMP/squat.out")$(head -c 300 "$BB_TMP/squat.err")"
  if ! running_clock Format REG_DWORD 1; then
    end_exe "$squat"
    return
  fi
  seconds_tier() { probe children "$CLOCK" | awk -F'\t' '$4 ~ / 33 22$/ { printf "%s ", $3 }'; }
  local prog s0 s1 c0 c1
  prog=$(program_pid "$EXE_PID")
  s0=$(seconds_tier)
  c0=$(cpu_ticks "$prog")
  sleep 3
  s1=$(seconds_tier)
  c1=$(cpu_ticks "$prog")
  unset -f seconds_tier
  check "$t: the seconds tier still moves" yes \
    "$([[ -n "$s0" && "$s0" != "$s1" ]] && echo yes || echo "no: '$s0' then '$s1'")"
  # Not a speed figure. Under Wine a 1 ms pause really lasts about 1 ms, so even the pausing loop
  # costs some 20 ticks (1/100 s) in 3 s here; without its pause the loop took 112, the rest of
  # the time waiting on Wine's server. A quarter of a core lies between.
  check "$t: pauses instead of spinning (under a quarter of a core)" yes \
    "$( [[ -z "$prog" ]] && echo "no: program's process not found" ||
      { ((c1 - c0 < 75)) && echo yes || echo "no: $((c1 - c0)) ticks in 3 s"; })"
  echo "# the program used $((c1 - c0)) ticks of 1/100 s in 3 s"
  end_exe "$EXE_PID"
  end_exe "$squat"
}

# The web address in Setup starts the browser under "Program Files" (a path with blanks) by its
# quoted path; a C:\Program.exe, which an unquoted command line would start, stays untouched.
# Stand-ins for both record how they were started.
case_browser() {
  local t="web link $TAG" c=$WINEPREFIX/drive_c f
  rm -f "$c/started.txt"
  for f in "$c/Program Files/Internet Explorer/iexplore.exe" \
    "$c/Program Files (x86)/Internet Explorer/iexplore.exe" "$c/Program.exe"; do
    mkdir -p "$(dirname "$f")"
    cp "$WINPROBE" "$f"
  done
  running_clock Format REG_DWORD 1 || return
  open_setup || return
  click_centre "$(child_where "$SETUP" '$3 == "'"$SETUP_URL"'"' | cut -f4)"
  wait_for 5000 test -s "$c/started.txt"
  # As the prefix has it for this kind of program: a 32-bit one in a 64-bit prefix sees
  # "C:\Program Files (x86)".
  local pf view=64
  [[ "$(loader_for "$EXE")" == */wine ]] && view=32
  pf=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /reg:$view 2>/dev/null |
    tr -d '\r' | awk '$1 == "ProgramFilesDir" { sub(/^ *ProgramFilesDir +REG_SZ +/, ""); print }')
  check "$t: the browser started, path quoted" \
    "${pf,,}\\internet explorer\\iexplore.exe|\"$pf\\Internet Explorer\\IEXPLORE.EXE\" \"$SETUP_URL\"" \
    "$(tr -d '\r' <"$c/started.txt" | awk -F'|' '{ print tolower($1) "|" $2 }')"
  end_exe "$EXE_PID"
}

# mil_flipped: a running clock at the top-left spot, started in 24-hour mode, whose MIL label has
# been double-clicked; AM is the mark it should show now (AM or PM). False when no clock shows.
mil_flipped() {
  local y h
  AM=AM
  (($(date -u +%-H) >= 12)) && AM=PM
  running_clock Format REG_DWORD 1 Position REG_DWORD 1 || return
  wait_for 3000 window_at "$CLOCK" "0 0"
  read -r _ y _ h <<<"$(child_where "$CLOCK" '$3 == "MIL"' | cut -f4)"
  click_at 150 $((y + h / 2)) 1 2
  mode_is() { [[ -n "$(child_where "$CLOCK" '$3 == "'"$1"'"')" ]]; }
  wait_for 3000 mode_is "$AM"
  unset -f mode_is
}

# Double-clicks on the mode label and on the dark-brown bar above it flip the format and the mark
# and store them; the blue tip drags the window. Clicks go at x 150 of the window, inside the
# triangle (the bar is wider than the triangle at its height).
case_pointer() {
  local t="pointer $TAG" y h
  mil_flipped || return
  check "$t: double-click on MIL shows $AM and stores Format 0" "$AM|Format REG_DWORD 0x0" \
    "$(child_where "$CLOCK" '$3 == "MIL" || $3 == "AM" || $3 == "PM"' | cut -f3)|$(reg_values | grep '^Format')"
  read -r _ y _ h <<<"$(child_where "$CLOCK" '$2 == "Static" && $3 == "" && $4 ~ / 389 5$/' | cut -f4)"
  click_at 150 $((y + h / 2)) 1 2
  mark() { child_where "$CLOCK" '$2 == "Static" && $3 == "" && $4 ~ / 2 [0-9][0-9][0-9]$/' | cut -f5; }
  mark_shown() { [[ "$(mark)" == visible ]]; }
  wait_for 3000 mark_shown
  check "$t: double-click on the bar shows the mark and stores Mark 1" "visible|Mark REG_DWORD 0x1" \
    "$(mark)|$(reg_values | grep '^Mark')"
  unset -f mark mark_shown
  drag_tip $((DESK_X + 150)) $((DESK_Y + 8)) 200 150
  wait_for 3000 window_at "$CLOCK" "200 150"
  check "$t: dragging the tip by 200,150 moves the window there" "200 150" \
    "$(rect "$CLOCK" | cut -d' ' -f1-2)"
  check_true "$t: still running" "the program ended" alive "$EXE_PID"
  end_exe "$EXE_PID"
}

# After input and after Apply the pause that follows still ends on time: each of the next three
# seconds shows within LAG_MS (250) of its start. A pause stretched to the next second and not cut
# short by a handler, or one stretched too far, shows a second late or not at all.
case_pause_after_input() {
  local t="seconds on time after input $TAG"
  mil_flipped || return
  on_time "$t: after a double-click on MIL"
  open_setup || { end_exe "$EXE_PID"; return; }
  click_centre "$(probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "Apply" { print $4 }')"
  probe wait-gone "$SETUP" 3000 >/dev/null
  on_time "$t: after Apply"
  end_exe "$EXE_PID"
}

# on_time NAME: the clock's next three seconds each show within LAG_MS of their start.
on_time() {
  local lags late
  lags=$(probe lag "$CLOCK" 3 | tr '\n' ' ')
  late=$(awk -v max="${LAG_MS:-250}" '{ for (i = 1; i <= NF; i++) if ($i == "-" || $i > max) n++ }
    END { print n + 0 + (NF < 3) }' <<<"$lags")
  check_true "$1: each of three seconds shown within ${LAG_MS:-250} ms" "ms after each second: $lags" \
    test "$late" -eq 0
}

# A right button pressed on this year's cell and released over its neighbour still belongs to
# the cell that took the press: Setup opens.
case_press_capture() {
  local t="right press on a cell, released over its neighbour $TAG" x y w h cx to
  running_clock Format REG_DWORD 1 Position REG_DWORD 1 || return
  wait_for 3000 window_at "$CLOCK" "0 0"
  read -r x y w h <<<"$(child_where "$CLOCK" '$3 == "'"$(date -u +%Y)"'"' | cut -f4)"
  read -r cx _ <<<"$(rect "$CLOCK")"
  # Into the neighbour on the side of the window's middle, where the triangle is widest.
  if ((x + w / 2 < cx + 150)); then to=$((x + w + 10)); else to=$((x - 10)); fi
  xdotool mousemove $((DESK_X + x + w / 2)) $((DESK_Y + y + h / 2)) mousedown 3 sleep 0.1 \
    mousemove $((DESK_X + to)) $((DESK_Y + y + h / 2)) sleep 0.1 mouseup 3
  if SETUP=$(wait_window Setup ZorvaneForm 3000); then ok "$t: Setup opens"
  else not_ok "$t: Setup opens" "no visible Setup within 3 s"; fi
  end_exe "$EXE_PID"
}

# A clock that a display change leaves on no monitor comes back to its spot.
case_display_change() {
  local t="display change $TAG"
  running_clock Format REG_DWORD 1 Position REG_DWORD 1 || return
  probe strand "$CLOCK" 3000 3000
  if wait_for 3000 window_at "$CLOCK" "$(spot_xy 1)"; then ok "$t: a stranded clock returns to its spot"
  else not_ok "$t: a stranded clock returns to its spot" "at $(rect "$CLOCK"), want $(spot_xy 1)"; fi
  end_exe "$EXE_PID"
}

# inside "X Y W H": "yes" when the rectangle lies wholly in WORK ("X Y W H"), else where it is.
inside() {
  local x y w h wx wy ww wh
  read -r x y w h <<<"$1"
  read -r wx wy ww wh <<<"$WORK"
  if ((x >= wx && y >= wy && x + w <= wx + ww && y + h <= wy + wh)); then echo yes
  else echo "no: $1"; fi
}

# The display's mode changes under a running clock: a clock at its spot follows it, and Setup
# and About opened afterwards stand whole on the smaller screen. (A taskbar's work area is checked
# in win32_tests: Wine keeps SPI_SETWORKAREA apart for each process.)
case_display_mode() {
  local t="display mode $TAG" WORK="0 0 1024 768" about="" mode
  running_clock Format REG_DWORD 1 Position REG_DWORD 6 || return
  wait_for 3000 window_at "$CLOCK" "$(SCREEN_W=1280 SCREEN_H=1024 spot_xy 6)"
  if ! mode=$(probe resolution 1024 768) || [[ "$mode" != "0 1024 768" ]]; then
    skip "$t" "Wine's desktop took no 1024 x 768 mode here ($mode)"
    end_exe "$EXE_PID"
    return
  fi
  wait_for 3000 window_at "$CLOCK" "$(spot_xy 6)"
  check "$t: at its spot on a 1024 x 768 display" "$(spot_xy 6)" "$(rect "$CLOCK" | cut -d' ' -f1-2)"
  if open_setup; then
    check "$t: Setup whole on it" yes "$(inside "$(rect "$SETUP")")"
    click_centre "$(probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "About" { print $4 }')"
    find_about() {
      about=$(probe top | awk -F'\t' '$2 == "ZorvaneForm" && $5 == "visible" && $4 ~ / 419 336$/ { print $1 }')
      [[ -n "$about" ]]
    }
    wait_for 3000 find_about
    unset -f find_about
    check "$t: About whole on it" yes "$(inside "$(rect "$about")")"
  fi
  end_exe "$EXE_PID"
  probe resolution 1280 1024 >/dev/null
}

# run_cases: every case for EXE, or those CASES names (e.g. CASES="shape setup").
run_cases() {
  echo "# $EXE"
  local c
  for c in ${CASES:-first_start shape tiers tiers_now settings pointer pause_after_input press_capture second_copy same_instant setup setup_keyboard about browser no_timer display_change display_mode}; do
    [[ $c == scale || $c == packages ]] || "case_$c"
  done
}
