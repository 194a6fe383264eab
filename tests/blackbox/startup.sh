# Start-up cases: no display, the first-start greeting, the settings file it leaves, the clock
# window's properties and its triangular shape on screen.

GREETING="Welcome to Zorvane. To change to Standard from Military, Dbl Click on the MIL. To add an Alignment Mark Dbl Click on the Dark Brown Line above the MIL. You can also Right Click on the clock for a setup. Dbl Click on the clock to close. Use the Blue Point on top or the Setup to move clock."

# What a first start leaves behind: the key with only the 24-hour format.
FIRST_SETTINGS=$'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000001\n'

# Colour painted on the root for the shape case: the clock never draws it, so any pixel of this
# colour is see-through.
ROOT_RGB="90,30,130"
ROOT_HEX="5a1e82"
TIP_RGB="0,84,227"

# Runs without any X server: the program must say why on stderr and fail.
case_no_display() {
  local extra want v rc
  # Without DISPLAY: a plain session, and a Wayland session that has no XWayland.
  while IFS='|' read -r extra want; do
    new_env
    clock_env
    local env_no_display=()
    for v in "${CLOCK_ENV[@]}"; do [[ "$v" == DISPLAY=* ]] || env_no_display+=("$v"); done
    [[ -n "$extra" ]] && env_no_display+=("$extra")
    "${env_no_display[@]}" "$ZORVANE" >"$ENV_DIR/out" 2>"$ENV_DIR/err" </dev/null
    rc=$?
    check "no display${extra:+ ($extra)}: status, stdout, stderr" "1|0|zorvane: $want" \
      "$rc|$(wc -c <"$ENV_DIR/out")|$(cat "$ENV_DIR/err")"
  done <<'CASES'
|DISPLAY is not set: start the clock from a desktop session
WAYLAND_DISPLAY=wayland-0|this Wayland session has no X server (DISPLAY is not set); the clock needs XWayland
CASES
}

# First start, no settings: greeting first, clock only after it is dismissed. DISMISS is how:
# a key name for xdotool, or "click" for the OK button.
case_greeting() {
  local dismiss=$1
  local t="first start, dismissed with $dismiss $WM_TAG"
  new_env
  start_clock
  local box
  if ! box=$(wait_msgbox 5000); then
    not_ok "$t: greeting shown" "no message box within 5 s; clock windows: $(count_clocks)"
    stop "$CLOCK_PID"
    return
  fi
  box=${box%%$'\n'*}
  ok "$t: greeting shown"
  check "$t: greeting text" "$GREETING" "$(msgbox_text "$box")"
  check "$t: box WM_NAME and _NET_WM_NAME" $'Zorvane\nZorvane' "$("$XPROBE" title "$box")"

  # The clock's window already exists but must not be on screen while the greeting is up.
  local main state
  main=$("$XPROBE" find --title Zorvane --role Main | head -1)
  state=$([[ -n "$main" ]] && "$XPROBE" geom "$main" | awk '{print $1}')
  check "$t: clock exists but is not viewable under the greeting" "exists not-viewable" \
    "$([[ -n "$main" ]] && echo exists || echo missing) $([[ "$state" == viewable ]] && echo viewable || echo not-viewable)"

  if [[ "$dismiss" == click ]]; then
    # Pressed on OK and released off it is no click.
    local button x y w h
    button=$("$XPROBE" children "$box" | awk -F'\t' '$8 == "OK" { print $1; exit }')
    read -r _ x y w h <<<"$("$XPROBE" geom "$button")"
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) mousedown 1 mousemove 5 5 mouseup 1
    if "$XPROBE" wait-gone "$box" 500; then not_ok "$t: press on OK, release off it: no click" "the box closed"
    else ok "$t: press on OK, release off it: no click"; fi
    click_named "$box" OK
  else
    xdotool key "$dismiss"
  fi
  check_true "$t: greeting closes" "the box is still there after 3 s" "$XPROBE" wait-gone "$box" 3000
  local clock
  if clock=$(wait_clock 5000); then ok "$t: clock viewable after the greeting"; else
    not_ok "$t: clock viewable after the greeting" "no viewable clock within 5 s"
  fi
  wait_for 2000 test -s "$SETTINGS"
  # $(...) drops trailing newlines: compare the bytes with a marker appended instead.
  check "$t: settings file holds only Format=1" "$FIRST_SETTINGS"$'\n'"|" \
    "$(cat "$SETTINGS" 2>/dev/null; echo "|")"
  check_true "$t: program still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# A Format that is no REG_DWORD reads as missing: the start counts as a first start.
# case_format_not_dword VALUE_LINE WHAT [KNOWN_BUG]
case_format_not_dword() {
  local line=$1 what=$2 known_bug=${3:-}
  local t="Format $what reads as missing $WM_TAG"
  new_env
  write_settings "$line" '"Position"=dword:00000001'
  start_clock
  # Whichever comes first: the greeting, or the clock shown without one.
  box_or_clock() {
    box=$("$XPROBE" find --title Zorvane --child-name OK --viewable | head -1)
    [[ -n "$box" ]] || [[ "$(count_clocks --viewable)" != 0 ]]
  }
  local box="" got
  wait_for 5000 box_or_clock
  unset -f box_or_clock
  if [[ -n "$box" ]]; then
    got=$(msgbox_text "$box")
  else
    got="no greeting, viewable clocks: $(count_clocks --viewable)"
  fi
  KNOWN_BUG=$known_bug check "$t: greeting shown" "$GREETING" "$got"
  stop "$CLOCK_PID"
}

# With XDG_CONFIG_HOME empty or unset the settings live under $HOME/.config.
case_config_fallback() {
  local mode=$1
  new_env
  CONFIG_MODE=$mode
  start_clock
  if wait_msgbox 5000 >/dev/null; then
    xdotool key Return
    wait_clock 5000 >/dev/null
    wait_for 2000 test -s "$ENV_DIR/home/.config/zorvane/settings.reg"
  fi
  check "XDG_CONFIG_HOME $mode: settings under \$HOME/.config $WM_TAG" "$FIRST_SETTINGS"$'\n'"|" \
    "$(cat "$ENV_DIR/home/.config/zorvane/settings.reg" 2>/dev/null; echo "|")"
  CONFIG_MODE="set"
  stop "$CLOCK_PID"
}

# The clock window: size, role, no decorations, client area offset.
case_window_properties() {
  local t="clock window $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock
  local clock
  if ! clock=$(wait_clock 5000); then
    not_ok "$t: shown" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  check "$t: exactly one" 1 "$(count_clocks)"
  # Only the triangle's box: a window manager then has nothing beyond it to push onto the screen.
  check "$t: size" "300 225" "$("$XPROBE" geom "$clock" | awk '{print $4, $5}')"
  check "$t: WM_WINDOW_ROLE" "Main" "$("$XPROBE" role "$clock")"
  check "$t: WM_NAME and _NET_WM_NAME" $'Zorvane\nZorvane' "$("$XPROBE" title "$clock")"
  check "$t: undecorated (_MOTIF_WM_HINTS)" "flags=2 decorations=0" "$("$XPROBE" motif "$clock")"
  check "$t: client area at (3,22) of the window" "3 22" \
    "$("$XPROBE" children "$clock" | awk -F'\t' '$2 == "Main.client" { print $4, $5 }')"
  check "$t: no greeting when Format is stored" 0 \
    "$("$XPROBE" count --title Zorvane --child-name OK)"
  stop "$CLOCK_PID"
}

# classify FILE X Y ...: one word per point: see, blue or clock.
classify() {
  pixels "$@" | awk -v root="$ROOT_RGB" -v tip="$TIP_RGB" \
    '{ printf "%s%s", (NR > 1 ? " " : ""), ($0 == root ? "see" : $0 == tip ? "blue" : "clock") }'
}

# inside_span Y: "LO HI", the first and last pixel of row Y whose centre lies in the triangle
# (150,0),(0,225),(300,225); left edge inclusive, right edge exclusive. In sixths of a pixel:
# left edge 6x >= 895-4y, right edge 6x < 899+4y.
inside_span() {
  awk -v y="$1" 'function ceil(v) { return (v == int(v)) ? v : (v > 0 ? int(v) + 1 : int(v)) }
    BEGIN { print ceil((895 - 4 * y) / 6), ceil((899 + 4 * y) / 6) - 1 }'
}

# Only the triangle is on screen; the blue tip is on top. The clock sits at (0,0) (Position 1).
case_shape() {
  local t="shape $WM_TAG"
  new_env
  "$XPROBE" paint-root "$ROOT_HEX"
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock
  local clock png="$ENV_DIR/shot.png"
  if ! clock=$(wait_clock 5000) || ! wait_for 3000 at_xy "$clock" "0 0"; then
    not_ok "$t: clock at (0,0)" "clock not viewable at (0,0) within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  # Viewable is not yet painted: take shots until the tip shows (or give up after 3 s).
  tip_blue() { shot "$png" && [[ "$(pixels "$png" 150 12)" == "$TIP_RGB" ]]; }
  wait_for 3000 tip_blue
  check "$t: blue tip at (150,12)" "$TIP_RGB" "$(pixels "$png" 150 12)"
  # Each pixel as "see" (root colour shows through), "blue" (the tip) or "clock" (anything else).
  check "$t: points near the three edges" \
    "blue blue see see clock clock see see see see" \
    "$(classify "$png" 149 1 150 1 148 1 151 1 0 224 299 224 300 224 0 226 0 225 400 400)"

  # Row by row, the first and last inside pixel and their outside neighbours.
  local y lo hi inside
  for y in 1 10 21 50 112 150 200 222; do   # from row 223 on the left neighbour is off screen
    read -r lo hi <<<"$(inside_span "$y")"
    inside=clock
    ((y < 22)) && inside=blue   # the caption bar is the top 22 rows
    check "$t: row $y, x $((lo - 1)) $lo $hi $((hi + 1))" "see $inside $inside see" \
      "$(classify "$png" $((lo - 1)) "$y" "$lo" "$y" "$hi" "$y" $((hi + 1)) "$y")"
  done
  # Rows 0 and 225 have no pixel inside; beyond the triangle's box nothing of the clock shows.
  check "$t: rows 0 and 225, far corners" "see see see see see see see" \
    "$(classify "$png" 149 0 150 0 0 225 150 225 299 225 799 799 700 100)"

  # The client area's own background, RGB(189,183,149), where no control covers it: points of a
  # 3 px grid inside the triangle (3 px from its edges, below the caption bar) outside every
  # viewable control. Control rectangles are relative to the client, which sits at (3,22).
  local client bg_points
  client=$(client_of "$clock")
  bg_points=$("$XPROBE" children "$client" | awk -F'\t' '
    $3 == "viewable" { n++; X[n] = $4 + 3; Y[n] = $5 + 22; W[n] = $6; H[n] = $7 }
    END {
      for (y = 24; y < 222; y += 3)
        for (x = 3; x < 297; x += 3) {
          if (6 * x < 895 - 4 * y + 18 || 6 * x >= 899 + 4 * y - 18) continue
          covered = 0
          for (i = 1; i <= n; i++)
            if (x >= X[i] && x < X[i] + W[i] && y >= Y[i] && y < Y[i] + H[i]) { covered = 1; break }
          if (!covered && m++ < 40) printf "%d %d ", x, y
        }
    }')
  local npts
  npts=$(wc -w <<<"$bg_points")
  if ((npts < 20)); then
    not_ok "$t: client background" "only $((npts / 2)) uncovered points found: $bg_points"
  else
    check "$t: client background at $((npts / 2)) uncovered points" "189,183,149" \
      "$(pixels "$png" $bg_points | sort -u | xargs)"
  fi

  # Clicks on see-through parts must reach what is below (the input shape follows the triangle).
  xdotool mousemove 400 400
  check "$t: pointer at (400,400) is over the root" root "$("$XPROBE" pointer | tail -1)"
  xdotool mousemove 150 100
  check_true "$t: pointer at (150,100) is over the clock" "windows under the pointer: $("$XPROBE" pointer | xargs)" \
    eval '"$XPROBE" pointer | grep -qx "$clock"'
  stop "$CLOCK_PID"
  unset -f tip_blue
}

group_no_display() {
  case_no_display
}

group_startup() {
  case_greeting Return
  case_greeting Escape
  case_greeting space
  case_greeting click
  case_format_not_dword '"Format"=hex(b):01,00,00,00,00,00,00,00' "QWORD 1"
  case_format_not_dword '"Format"=hex(2):31,00,00,00' "hex(2) string"
  # An empty text is what a first start finds, as much as no value at all.
  case_format_not_dword '"Format"=""' 'empty string'
  case_window_properties
  case_shape
  if [[ "$WM_TAG" == "[no wm]" ]]; then
    case_config_fallback empty
    case_config_fallback unset
  fi
}
