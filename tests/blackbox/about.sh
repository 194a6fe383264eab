# The About window, opened from the Setup dialog (helpers of dialogs.sh): where it stands, the
# screen it shows through its see-through parts, the credits rolling in, the blinking light,
# and the four ways it closes (by itself, OK, a double-click on the picture; it starts over when
# opened again).

# The credits, one line each, in the order they roll in.
CREDITS=("Zorvane" "Version 1.00 Dated: 28 Nov 2007" "" "Created by Oskerand"
  "https://zorvane.example.org/" "For support send an email to:" "support@zorvane.example.org")

# credits_text STEP: Text1's WM_NAME at that step (0 = just opened), as xprobe prints it (CR and
# LF as \r and \n): the first STEP+1 lines, each ending in CR LF, after 6-STEP empty lines.
credits_text() {
  local k out=""
  for ((k = 0; k < 6 - $1; k++)); do out+='\r\n'; done
  for ((k = 0; k <= $1; k++)); do out+="${CREDITS[k]}"'\r\n'; done
  printf '%s' "$out"
}

# open_about: a click on the dialog's About button; sets ABOUT to the viewable window.
open_about() {
  click_role "$SETUP" Command2
  ABOUT=$("$XPROBE" wait --role About --viewable --timeout 3000) || return 1
  ABOUT=${ABOUT%%$'\n'*}
}

# rel_points X0 Y0 DX DY ...: each point shifted by X0,Y0.
rel_points() {
  local x0=$1 y0=$2
  shift 2
  while (($# >= 2)); do printf '%d %d ' $((x0 + $1)) $((y0 + $2)); shift 2; done
}

# join_bar WORD...: the words joined by "|".
join_bar() {
  local IFS='|'
  echo "$*"
}

case_about() {
  local t="About $WM_TAG"
  # Every root pixel differs: a see-through part that shows the wrong spot cannot match by luck.
  "$XPROBE" paint-root-pattern
  # The centre spot, so that the About window stands wholly on the screen.
  setup_clock clock '"Format"=dword:00000001' '"Position"=dword:00000000' || return
  cp "$SETTINGS" "$ENV_DIR/settings.before"
  if ! open_setup "Hours(2)"; then
    not_ok "$t: Setup shown" "no viewable Setup within 3 s of a right click on Hours(2)"
    stop "$CLOCK_PID"
    return
  fi
  local before="$ENV_DIR/before.png" after="$ENV_DIR/after.png"
  setup_shot "$before"
  if ! open_about; then
    not_ok "$t: shown" "no viewable About window within 3 s of a click on About"
    stop "$CLOCK_PID"
    return
  fi
  # Read first: the next credit line comes 1.5 s after opening. From then on every distinct
  # text is noted in the background, so that the slow checks below cannot miss a step.
  local text0 final roll="$ENV_DIR/roll" sampler
  text0=$(caption "$ABOUT" Text1)
  final=$(credits_text 6)
  (
    last=$text0
    printf '%s\0' "$text0" >"$roll"
    for ((i = 0; i < 1500; i++)); do   # 1500 polls of at least 20 ms: 30 s and more
      cur=$(caption "$ABOUT" Text1)
      [[ -n "$cur" && "$cur" != "$last" ]] && { printf '%s\0' "$cur" >>"$roll"; last=$cur; }
      [[ "$cur" == "$final" ]] && break
      sleep 0.02
    done
  ) &
  sampler=$!
  ok "$t: shown"
  check "$t: credits at opening" "$(credits_text 0)" "$text0"
  local m ax ay aw ah sx sy sw sh
  read -r m ax ay aw ah <<<"$("$XPROBE" geom "$ABOUT")"
  read -r m sx sy sw sh <<<"$("$XPROBE" geom "$SETUP")"
  check "$t: size" "419 336" "$aw $ah"
  check "$t: borderless (_MOTIF_WM_HINTS)" "flags=2 decorations=0" "$("$XPROBE" motif "$ABOUT")"
  # Centres in half pixels: twice the centre is 2x + w.
  local dcx=$(((2 * ax + aw) - (2 * sx + sw))) dcy=$(((2 * ay + ah) - (2 * sy + sh)))
  check "$t: centred over the Setup dialog (within 1 px)" "yes" \
    "$( ((dcx >= -2 && dcx <= 2 && dcy >= -2 && dcy <= 2)) && echo yes || echo "no: About $ax,$ay ${aw}x$ah, Setup $sx,$sy ${sw}x$sh")"
  local r states=""
  for r in Picture1 Picture2 Picture3 Text1 Text2; do states+="$r=$(map_state "$ABOUT" "$r") "; done
  check "$t: pictures and texts" \
    "Picture1=viewable Picture2=unmapped Picture3=unmapped Text1=viewable Text2=viewable " "$states"
  check "$t: OK text" OK "$(caption "$ABOUT" Text2)"
  check "$t: green light 5x5" "5 5" "$("$XPROBE" child "$ABOUT" Picture4 | awk '{ print $3, $4 }')"

  # What shows through: the four corners, (5,5) and, left of the panel, a spot where the clock
  # stood (from the centre spot it reaches there). The panel's inside is the picture's own.
  local see inside
  see=$(rel_points "$ax" "$ay" 0 0 418 0 0 335 418 335 5 5 24 262)
  inside=$(rel_points "$ax" "$ay" 200 260)
  painted() { shot "$after" && [[ "$(pixels "$after" $inside)" != "$(pixels "$before" $inside)" ]]; }
  wait_for 3000 painted
  unset -f painted
  local want_see got_see
  want_see=$(pixels "$before" $see | xargs)
  got_see=$(pixels "$after" $see | xargs)
  check "$t: see-through pixels show the screen behind it" "$want_see" "$got_see"
  local in_before in_after
  in_before=$(pixels "$before" $inside)
  in_after=$(pixels "$after" $inside)
  check "$t: panel inside is the picture (neither magenta nor the screen behind)" yes \
    "$([[ "$in_after" != "255,0,255" && "$in_after" != "$in_before" ]] && echo yes || echo "no: $in_after")"

  # The credits roll in, one line every 1.5 s; the light blinks every 0.5 s meanwhile.
  local seen=() want_seq=() k cur blink_on=0 blink_off=0 polls=0
  for k in 0 1 2 3 4 5 6; do want_seq+=("$(credits_text "$k")"); done
  while ((polls < 750 && (blink_on == 0 || blink_off == 0))); do   # 750 polls: 15 s and more
    case "$(map_state "$ABOUT" Picture4)" in
      viewable) blink_on=$((blink_on + 1)) ;;
      unmapped) blink_off=$((blink_off + 1)) ;;
    esac
    sleep 0.02
    polls=$((polls + 1))
  done
  wait "$sampler" 2>/dev/null   # it ends on the last line, or after 30 s
  mapfile -d '' seen <"$roll"
  check "$t: credits roll in line by line" "$(join_bar "${want_seq[@]}")" "$(join_bar "${seen[@]}")"
  check "$t: all seven lines at the end, no empty line first" "$final" "$(caption "$ABOUT" Text1)"
  check "$t: the green light blinks" "on and off" \
    "$( ((blink_on > 0 && blink_off > 0)) && echo "on and off" || echo "seen on $blink_on, off $blink_off times")"
  check "$t: still open with all credits shown" viewable "$("$XPROBE" geom "$ABOUT" | awk '{ print $1 }')"
  # 51 ticks of 500 ms after opening; generous on a loaded machine.
  check_true "$t: closes by itself" "still there about 40 s after opening" \
    "$XPROBE" wait-gone "$ABOUT" 31000
  check "$t: Setup still open afterwards" viewable "$("$XPROBE" geom "$SETUP" | awk '{ print $1 }')"

  if open_about; then
    check "$t: opened again: credits start over" "$(credits_text 0)" "$(caption "$ABOUT" Text1)"
    # The credits box takes typing (a click gives it the keyboard), as UTF-8 whatever the locale,
    # and Backspace takes one character back; the next step replaces it.
    click_role "$ABOUT" Text1
    # xdotool reads its argument in its own locale: in the C locale it types nothing of it.
    LC_ALL=C.UTF-8 xdotool type --delay 30 "Héé"
    xdotool key BackSpace Return
    check "$t: typing into the credits" "$(credits_text 0)"'Hé\r\n' "$(caption "$ABOUT" Text1)"
    step1() { [[ "$(caption "$ABOUT" Text1)" == "$(credits_text 1)" ]]; }
    check_true "$t: the next step replaces what was typed" "Text1 now: $(caption "$ABOUT" Text1)" \
      wait_for 3000 step1
    unset -f step1
    click_role "$ABOUT" Text2
    check_true "$t: a click on OK closes it" "still there 3 s after the click" \
      "$XPROBE" wait-gone "$ABOUT" 3000
  else
    not_ok "$t: opened again" "no viewable About window within 3 s"
  fi
  if open_about; then
    # Left of the panel: only Picture1 is there (not Text1, Text2 or the light).
    read -r m ax ay aw ah <<<"$("$XPROBE" geom "$ABOUT")"
    double_click $((ax + 20)) $((ay + 300))
    check_true "$t: a double-click on the picture closes it" "still there 3 s after it" \
      "$XPROBE" wait-gone "$ABOUT" 3000
  else
    not_ok "$t: opened a third time" "no viewable About window within 3 s"
  fi
  close_setup
  check_true "$t: then Setup closes by its close box" "still there 3 s after the click" \
    "$XPROBE" wait-gone "$SETUP" 3000
  check_true "$t: nothing stored" "file now: $(cat "$SETTINGS")" \
    cmp -s "$ENV_DIR/settings.before" "$SETTINGS"
  check_true "$t: clock still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

# A compositor (an owner of _NET_WM_CM_S0, here one that composites nothing, so that what the
# server itself shows can be read) comes and goes while the clock runs. About is made with alpha
# only while one is there; once it goes, the open About window's see-through parts are cut out
# of it (a server without a compositor may show alpha 0 as black; Xvfb happens to blend it) and
# a new one is made without alpha; when it comes back, About has alpha again from its next
# opening.
case_about_compositor() {
  local t="About as a compositor comes and goes $WM_TAG" cm m ax ay aw ah see want
  "$XPROBE" paint-root-pattern
  own_cm() {
    rm -f "$BB_TMP/cm.out"
    spawn "$BB_TMP/cm" "$XPROBE" own _NET_WM_CM_S0
    cm=$SPAWNED
    wait_for 3000 grep -q owned "$BB_TMP/cm.out"
  }
  # There from the start: the clock must not judge once and keep to it.
  own_cm
  setup_clock clock '"Format"=dword:00000001' '"Position"=dword:00000000' || { stop "$cm"; return; }
  if ! open_setup "Hours(2)"; then
    not_ok "$t: Setup shown" "no viewable Setup within 3 s"
    stop "$CLOCK_PID"; stop "$cm"
    return
  fi
  setup_shot "$ENV_DIR/before.png"
  depth() { xwininfo -id "$ABOUT" | awk '/Depth:/ { print $2 }'; }
  shows_behind() { shot "$ENV_DIR/now.png" && [[ "$(pixels "$ENV_DIR/now.png" $see | xargs)" == "$want" ]]; }
  see_behind() {
    if wait_for 3000 shows_behind; then ok "$1"
    else not_ok "$1" "see-through pixels $(pixels "$ENV_DIR/now.png" $see | xargs), behind: $want"; fi
  }
  about_or_fail() { open_about || { not_ok "$t: About shown ($1)" "none within 3 s"; return 1; }; }
  close_about() { click_role "$ABOUT" Text2 && "$XPROBE" wait-gone "$ABOUT" 3000; }
  if about_or_fail "composited"; then
    check "$t: with a compositor, About has alpha" 32 "$(depth)"
    check "$t: ... and nothing cut out of its shape" 1 "$("$XPROBE" shape-rects "$ABOUT")"
    read -r m ax ay aw ah <<<"$("$XPROBE" geom "$ABOUT")"
    see=$(rel_points "$ax" "$ay" 0 0 418 0 0 335 418 335 5 5)
    want=$(pixels "$ENV_DIR/before.png" $see | xargs)
    stop "$cm"
    cut() { (($("$XPROBE" shape-rects "$ABOUT") > 1)); }
    check_true "$t: the compositor gone, its see-through parts are cut out of the open About" \
      "its shape still one rectangle 3 s after" wait_for 3000 cut
    unset -f cut
    see_behind "$t: ... which shows the screen through"
    close_about
  fi
  if about_or_fail "after the compositor went"; then
    check "$t: made without alpha once it went" 24 "$(depth)"
    see_behind "$t: ... and shows the screen through"
    close_about
  fi
  own_cm
  if about_or_fail "the compositor back"; then
    check "$t: with alpha again once it came back" 32 "$(depth)"
    close_about
  fi
  stop "$cm"
  unset -f own_cm depth shows_behind see_behind about_or_fail close_about
  check_true "$t: clock still running" "process $CLOCK_PID ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

group_about() {
  case_about
  case_about_compositor
}
