# The clock on a desktop that asks for a larger scale through Xft.dpi (192: 200 %, 144: 150 %).
# The program keeps its logical world (800 x 800 px, the triangle (150,0),(0,225),(300,225), a
# 1280 x 1024 screen); every logical pixel covers SCALE x SCALE device pixels, edges rounded half
# up. Each group runs on an Xvfb of 1280 x 1024 logical pixels at its scale.

# dev V: the device coordinate of logical V at SCALE (edges: floor(V * SCALE + 0.5)).
dev() {
  awk -v v="$1" -v s="$SCALE" 'BEGIN { x = v * s + 0.5; f = int(x); if (f > x) f--; print f }'
}

# logical D: the logical pixel whose device pixels include device pixel D.
logical() {
  awk -v d="$1" -v s="$SCALE" 'BEGIN {
      x = int((d + 0.5) / s) + 1
      while (int((x - 1) * s + 0.5) > d) x--
      while (int(x * s + 0.5) <= d) x++
      print x - 1
    }'
}

# dev_span Y: "LO HI", the first and last device pixel of device row Y whose centre lies in the
# triangle of device corners (dev 150, 0), (0, dev 225), (dev 300, dev 225).
dev_span() {
  awk -v y="$1" -v a="$(dev 150)" -v b="$(dev 225)" -v c="$(dev 300)" '
    function ceil(v) { return (v == int(v)) ? v : (v > 0 ? int(v) + 1 : int(v)) }
    BEGIN { yc = y + 0.5; l = a - yc * a / b; r = a + yc * (c - a) / b
            print ceil(l - 0.5), ceil(r - 0.5) - 1 }'
}

# scale_clock POSITION: a clock frozen at POINTER_WHEN at that spot, settled; sets CLOCK, CLIENT.
scale_clock() {
  new_env
  write_settings '"Format"=dword:00000001' "\"Position\"=dword:0000000$1"
  start_clock_at "$POINTER_WHEN"
  shown_clock || return 1
  local want
  want=$(SCREEN_W=1280 SCREEN_H=1024 spot_xy "$1")
  wait_for 2000 at_xy "$CLOCK" "$(dev "${want% *}") $(dev "${want#* }")"
  want=$(hours_want 1)
  first_pass() { [[ "$(hours_got "$CLIENT")" == "$want" ]]; }
  wait_for 3000 first_pass
  unset -f first_pass
}

# centre_of TOP ROLE: "x y", the middle of the control on the root.
centre_of() {
  local x y w h
  read -r x y w h <<<"$(rect_of "$1" "$2")"
  [[ -n "$h" ]] && echo $((x + w / 2)) $((y + h / 2))
}

# Sizes, the sharp triangle, clicks through it and the text size, at the top-left spot.
case_scale_window() {
  local t="window at $SCALE_TAG $WM_TAG"
  "$XPROBE" paint-root "$ROOT_HEX"
  scale_clock 1 || return
  local m x y w h
  read -r m x y w h <<<"$("$XPROBE" geom "$CLOCK")"
  check "$t: the triangle's 300 x 225 logical px box at the top-left" "0 0 $(dev 300) $(dev 225)" \
    "$x $y $w $h"
  read -r m x y w h <<<"$("$XPROBE" geom "$CLIENT")"
  check "$t: client area at (3,22) logical" "$(dev 3) $(dev 22)" "$x $y"

  # Cells: rows stand still, each cell covers the device pixels of its logical rectangle.
  local role lt lw lh got want cx
  for role in "Sec(0) 32 33 22" "Hours(2) 80 60 22" "NumDay(1) 128 96 22" "Yr(0) 176 146 22"; do
    read -r role lt lw lh <<<"$role"
    read -r x y w h _ <<<"$("$XPROBE" child "$CLIENT" "$role")"
    cx=$(logical "$x")
    want="$(dev "$lt") $(($(dev $((cx + lw))) - $(dev "$cx"))) $(($(dev $((lt + lh))) - $(dev "$lt")))"
    check "$t: $role top, width, height" "$want" "$y $w $h"
  done

  local png="$ENV_DIR/shot.png"
  tip_blue() { shot "$png" && [[ "$(pixels "$png" "$(dev 150)" "$(dev 12)")" == "$TIP_RGB" ]]; }
  wait_for 3000 tip_blue
  unset -f tip_blue
  # Row by row at device resolution: the first and last inside pixel and their neighbours. A
  # logical shape stretched to the device would miss by a pixel on some of these rows.
  local lo hi inside rows="1 2 3 10 21 $(dev 22) 100 101 150 199 200 333 400 $(($(dev 225) - 2))"
  local bad="" row
  for y in $rows; do
    read -r lo hi <<<"$(dev_span "$y")"
    ((lo < 1)) && continue
    inside=clock
    ((y < $(dev 22))) && inside=blue
    row=$(classify "$png" $((lo - 1)) "$y" "$lo" "$y" "$hi" "$y" $((hi + 1)) "$y")
    [[ "$row" == "see $inside $inside see" ]] || bad+="row $y ($lo..$hi): $row; "
  done
  check "$t: triangle edges on device rows $rows" "" "$bad"
  check "$t: below the base and beside the tip" "see see see" \
    "$(classify "$png" "$(dev 150)" "$(dev 225)" $(($(dev 150) - 2)) 0 "$(dev 400)" "$(dev 400)")"

  # The input shape is the same: just outside goes to the root, just inside to the clock.
  read -r lo hi <<<"$(dev_span 300)"
  xdotool mousemove $((lo - 1)) 300
  check "$t: pointer just left of the edge is over the root" root "$("$XPROBE" pointer | tail -1)"
  xdotool mousemove $((hi + 1)) 300
  check "$t: pointer just right of the edge is over the root" root "$("$XPROBE" pointer | tail -1)"
  xdotool mousemove "$lo" 300
  check_true "$t: pointer on the edge's first pixel is over the clock" \
    "windows under the pointer: $("$XPROBE" pointer | xargs)" eval '"$XPROBE" pointer | grep -qx "$CLOCK"'

  # "MIL" in Times New Roman 12 pt: 16 px at 100 %, so its capitals stand about 0.66 x 16 x
  # SCALE device pixels tall. Only the label's middle: the triangle is narrow up there.
  read -r x y w h <<<"$(rect_of "$CLOCK" Label1)"
  local box ink_h want_h half
  half=$(dev 14)
  box=$(convert "$png" -crop "$((2 * half))x${h}+$((x + w / 2 - half))+${y}" +repage \
    -colorspace Gray -threshold 45% -format '%@' info: 2>/dev/null)
  ink_h=$(sed -E 's/^[0-9]+x([0-9]+).*/\1/' <<<"$box")
  want_h=$(awk -v s="$SCALE" 'BEGIN { print int(16 * s * 0.66 + 0.5) }')
  check "$t: MIL $want_h px tall (within 2)" yes \
    "$( [[ "$ink_h" =~ ^[0-9]+$ ]] && ((ink_h >= want_h - 2 && ink_h <= want_h + 2)) && echo yes || echo "no: $box")"
  stop "$CLOCK_PID"
}

# The spots measure the screen in logical pixels.
case_scale_spot() {
  local t="Position $1 at $SCALE_TAG $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' "\"Position\"=dword:0000000$1"
  start_clock
  local clock want
  want=$(SCREEN_W=1280 SCREEN_H=1024 spot_xy "$1")
  want="$(dev "${want% *}") $(dev "${want#* }")"
  shown_clock || return
  clock=$CLOCK
  wait_for 2000 at_xy "$clock" "$want"
  check "$t: outer top-left" "$want" "$(win_xy "$clock")"
  stop "$CLOCK_PID"
}

# Setup 1100 x 600 twips from the clock; About over it, its see-through parts showing the
# screen's own device pixels (every root pixel differs, so a stretched copy cannot match).
case_scale_dialogs() {
  local t="Setup and About at $SCALE_TAG $WM_TAG"
  "$XPROBE" paint-root-pattern
  scale_clock 0 || return
  local m cx cy sx sy sw sh lx ly
  read -r m cx cy m m <<<"$("$XPROBE" geom "$CLOCK")"
  xdotool mousemove $(centre_of "$CLOCK" "Hours(2)") click 3
  if ! SETUP=$("$XPROBE" wait --title Setup --role Config --viewable --timeout 3000); then
    not_ok "$t: Setup shown" "no viewable Setup within 3 s of a right click on Hours(2)"
    stop "$CLOCK_PID"
    return
  fi
  SETUP=${SETUP%%$'\n'*}
  lx=$(logical "$cx")
  ly=$(logical "$cy")
  wait_for 2000 at_xy "$SETUP" "$(dev $((lx + SETUP_DX))) $(dev $((ly + SETUP_DY)))"
  check "$t: Setup at its offset" "$(dev $((lx + SETUP_DX))) $(dev $((ly + SETUP_DY)))" \
    "$(win_xy "$SETUP")"

  local before="$ENV_DIR/before.png" after="$ENV_DIR/after.png"
  shot "$before"
  if ! open_about; then
    not_ok "$t: About shown" "no viewable About window within 3 s of a click on About"
    stop "$CLOCK_PID"
    return
  fi
  local ax ay aw ah
  read -r m ax ay aw ah <<<"$("$XPROBE" geom "$ABOUT")"
  check "$t: About is 419 x 336 logical px" "$(dev 419) $(dev 336)" "$aw $ah"
  local see inside
  see=$(rel_points "$ax" "$ay" 0 0 1 1 $((aw - 1)) 0 0 $((ah - 1)) $((aw - 1)) $((ah - 1)) \
    $((aw - 2)) $((ah - 2)) "$(dev 5)" $(($(dev 5) + 1)))
  inside=$(rel_points "$ax" "$ay" "$(dev 200)" "$(dev 260)")
  painted() { shot "$after" && [[ "$(pixels "$after" $inside)" != "$(pixels "$before" $inside)" ]]; }
  wait_for 3000 painted
  unset -f painted
  check "$t: see-through pixels show the screen's own pixels" "$(pixels "$before" $see | xargs)" \
    "$(pixels "$after" $see | xargs)"
  check "$t: About's panel is drawn" yes \
    "$([[ "$(pixels "$after" $inside)" != "255,0,255" && "$(pixels "$after" $inside)" != "$(pixels "$before" $inside)" ]] && echo yes || echo no)"
  stop "$CLOCK_PID"
}

# Double-clicks: on "MIL" with the second press a little off (the allowed distance grows with the
# scale: 4 logical px), then on a tier, which ends the program.
case_scale_double_clicks() {
  local t="double-clicks at $SCALE_TAG $WM_TAG"
  scale_clock 1 || return
  local p step
  p=$(centre_of "$CLOCK" Label1)
  step=$(($(dev 4) - 1))   # more than 4 device pixels, within 4 logical ones
  stored() { [[ "$(setting_line Format)" == '"Format"=dword:00000000' ]]; }
  xdotool mousemove $p click 1 mousemove_relative -- "$step" 0 click 1
  wait_for 2000 stored
  unset -f stored
  check "$t: MIL, second press $step px off: 12-hour, stored" \
    "$(date -u -d "$POINTER_WHEN" '+%p') \"Format\"=dword:00000000" \
    "$(caption "$CLIENT" Label1) $(setting_line Format)"
  double_click $(centre_of "$CLOCK" "Hours(2)")
  check_true "$t: on a tier the program ends" "still running 3 s later" wait_exit "$CLOCK_PID" 3000
  alive "$CLOCK_PID" && stop "$CLOCK_PID"
}

# scale_group DPI: Xft.dpi set in the server's resources before any clock starts, then the cases.
scale_group() {
  SCALE=$(awk -v d="$1" 'BEGIN { print d / 96 }')
  SCALE_TAG="$1 dpi"
  if ! printf 'Xft.dpi:\t%s\n' "$1" | xrdb -nocpp -merge; then
    not_ok "scale $SCALE_TAG $WM_TAG: set-up" "xrdb could not set Xft.dpi"
    return
  fi
  case_scale_window
  local p
  for p in 0 3 6; do case_scale_spot "$p"; done
  case_scale_dialogs
  case_scale_double_clicks
}

group_scale200() { scale_group 192; }
group_scale150() { scale_group 144; }

# Xft.dpi far past any screen: the scale is held to the largest at which the triangle fits the
# 1280 x 1024 monitor (its width decides: 1280 / 300), and one stderr line says so.
group_scale_absurd() {
  local dpi t m x y w h
  SCALE=$(awk 'BEGIN { printf "%.17g", 1280 / 300 }')
  # The second is 10^308 written out: near the largest double, as a decimal resource must be.
  for dpi in 9600 "1$(printf '%0308d' 0)"; do
    t="Xft.dpi ${dpi:0:12}$( ((${#dpi} > 12)) && echo "... (${#dpi} digits)") $WM_TAG"
    if ! printf 'Xft.dpi:\t%s\n' "$dpi" | xrdb -nocpp -merge; then
      not_ok "$t: set-up" "xrdb could not set Xft.dpi"
      continue
    fi
    new_env
    write_settings '"Format"=dword:00000001'
    start_clock
    shown_clock || continue
    read -r m x y w h <<<"$("$XPROBE" geom "$CLOCK")"
    check_true "$t: triangle on the screen" "window $w x $h at $x,$y" \
      test "$x" -ge 0 -a "$y" -ge 0 -a $((x + $(dev 300))) -le 1280 -a $((y + $(dev 225))) -le 1024
    check "$t: one stderr line says the scale was limited" 1 "$(grep -c 'scale' "$ENV_DIR/clock.err")"
    stop "$CLOCK_PID"
  done
}
