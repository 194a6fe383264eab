# The Windows program at the desktop's scale: one table over 96, 144 and 192 dpi (LogPixels in
# the prefix), each on a virtual desktop of 1280 x 1024 logical pixels. The 96-dpi row is the
# yardstick the others are measured against. Sourced by blackbox.sh after the other cases.

# dev F V: logical V at scale F in device pixels (half up), as the program rounds.
dev() { awk -v f="$1" -v v="$2" 'BEGIN { printf "%d", int(v * f + 0.5) }'; }

# near WANT GOT [SLACK]: true when every number of GOT is within SLACK (1) of WANT's.
near() {
  awk -v a="$1" -v b="$2" -v s="${3:-1}" 'BEGIN { n = split(a, A, " "); if (split(b, B, " ") != n) exit 1
    for (i = 1; i <= n; i++) if (A[i] - B[i] > s || B[i] - A[i] > s) exit 1 }'
}

# scale_desktop DPI WxH: Wine's desktop again, at that dpi and size, on a fresh Xvfb.
scale_desktop() {
  stop_all
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  DISPLAY= wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  DISPLAY= wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  XVFB_SCREEN="${2}x24" start_x || return 1
  wineserver -p
  probe top >/dev/null
  wait_for 10000 locate_desktop
}

# ink_rows FILE "x y w h": how many rows of that rectangle hold the clock's dark-brown ink.
ink_rows() {
  local x y w h
  read -r x y w h <<<"$2"
  convert "$1" -crop "${w}x${h}+$((DESK_X + x))+$((DESK_Y + y))" -fuzz 20% -fill black \
    -opaque 'rgb(81,64,6)' -fill white +opaque black -compress none pbm:- 2>/dev/null |
    awk 'NR > 2 { for (i = 1; i <= NF; i++) if ($i == 1) { n++; break } } END { print n + 0 }'
}

# edge_steps FILE "x y w h": the largest step of the triangle's left edge between neighbouring
# rows, over the middle 90 % of the rows it covers; 999 when it covers none.
edge_steps() {
  local x y w h
  read -r x y w h <<<"$2"
  convert "$1" -crop "${w}x${h}+$((DESK_X + x))+$((DESK_Y + y))" +repage -fill black \
    -opaque "rgb($DESK_RGB)" -fill white +opaque black -compress none pbm:- 2>/dev/null |
    tr -s ' \n' '\n\n' | awk 'NR == 2 { w = $1 } NR <= 3 { next }
      { i = NR - 4; row = int(i / w)
        if (!(row in e) && $1 == 0) { e[row] = i % w; if (first == "") first = row; last = row } }
      END { if (first == "") { print 999; exit }
        worst = 0; from = first + int((last - first) * 0.05); to = last - int((last - first) * 0.05)
        for (r = from; r < to; r++) {
          if (!(r in e) || !((r + 1) in e)) { print 999; exit }
          d = e[r + 1] - e[r]; if (d < 0) d = -d; if (d > worst) worst = d }
        print worst }'
}

# One row of the table: DPI, desktop size. Measures, and compares with the 96-dpi row.
scale_row() {
  local dpi=$1 size=$2 f t shot="$BB_TMP/scale.png"
  f=$(awk -v d="$dpi" 'BEGIN { print d / 96 }')
  t="scale $dpi dpi $TAG"
  if ! scale_desktop "$dpi" "$size"; then not_ok "$t: desktop" "Wine's desktop did not start"; return; fi
  # The greeting is the system's message box: the system draws it at its own scale.
  local box box_size=""
  fresh_key
  start_exe first
  if box=$(wait_window Zorvane '#32770'); then box_size=$(rect "$box" | cut -d' ' -f3-4); fi
  end_exe "$EXE_PID"
  if ((dpi == 96)); then SCALE_BOX=$box_size; else
    check_true "$t: the greeting box at the system's scale (within 20 %)" \
      "96 dpi: ${SCALE_BOX:-none}, here: ${box_size:-none}" awk -v a="$SCALE_BOX" -v b="$box_size" -v f="$f" \
      'BEGIN { split(a, A, " "); split(b, B, " "); if (A[1] == "" || B[1] == "") exit 1
        for (i = 1; i <= 2; i++) { r = B[i] / (A[i] * f); if (r < 0.8 || r > 1.2) exit 1 } }'
  fi
  running_clock Format REG_DWORD 1 || return
  local clock client mil bar year
  clock=$(rect "$CLOCK")
  client=$(probe client "$CLOCK")
  mil=$(child_where "$CLOCK" '$3 == "MIL"' | cut -f4)
  bar=$(child_where "$CLOCK" '$2 == "Static" && $3 == "" && $5 == "visible"' | cut -f4)
  year=$(child_where "$CLOCK" '$3 == "'"$(date -u +%Y)"'"' | cut -f4)
  check "$t: the clock at the centre spot, 800 x 800 logical pixels" \
    "$(dev "$f" 490) $(dev "$f" 399) $(dev "$f" 800) $(dev "$f" 800)" "$clock"
  sleep 1
  shot "$shot"
  local ink steps
  ink=$(ink_rows "$shot" "$mil")
  steps=$(edge_steps "$shot" "$clock")
  if ((dpi == 96)); then
    SCALE_BASE=("$mil" "$bar" "$year" "$ink" "$client")
  else
    # Positions in the client area (the caption above it is the system's); sizes scaled from
    # the 96-dpi row.
    local i want got now=("$mil" "$bar" "$year") what=(MIL "the base bar" "this year's cell")
    local bx by bw bh cx cy gx gy gw gh x0 y0
    read -r cx cy _ <<<"${SCALE_BASE[4]}"
    read -r x0 y0 _ <<<"$client"
    for i in 0 1 2; do
      read -r bx by bw bh _ <<<"${SCALE_BASE[i]}"
      want="$(dev "$f" $((bx - cx))) $(dev "$f" $((by - cy))) $(dev "$f" "$bw") $(dev "$f" "$bh")"
      read -r gx gy gw gh _ <<<"${now[i]}"
      got="$((gx - x0)) $((gy - y0)) $gw $gh"
      if [[ $i == 2 ]]; then want=${want#* * }; got=${got#* * }; fi  # cells slide: size only
      check_true "$t: ${what[i]} at its scaled place and size (within 1 px)" \
        "want $want, got $got" near "$want" "$got"
    done
    check_true "$t: text drawn at the scaled size" "MIL's ink is $ink rows, ${SCALE_BASE[3]} at 96 dpi" \
      near "$(awk -v f="$f" -v b="${SCALE_BASE[3]}" 'BEGIN { printf "%d", b * f + 0.5 }')" "$ink" 2
  fi
  check_true "$t: the triangle's edge steps at most 1 device pixel a row" "largest step $steps" \
    test "$steps" -le 1
  # Setup beside the clock, its size and offset scaled; About over it, see-through at its corners.
  local sx sy sw sh x0 y0 a b c d
  open_setup || return
  read -r sx sy sw sh <<<"$(rect "$SETUP")"
  read -r x0 y0 _ <<<"$clock"
  if ((dpi == 96)); then SCALE_SETUP="$((sx - x0)) $((sy - y0)) $sw $sh"; else
    read -r a b c d <<<"$SCALE_SETUP"
    check_true "$t: Setup's offset from the clock and its size scaled (within 1 px)" \
      "96 dpi: $SCALE_SETUP, here: $((sx - x0)) $((sy - y0)) $sw $sh" \
      near "$(dev "$f" "$a") $(dev "$f" "$b") $(dev "$f" "$c") $(dev "$f" "$d")" \
      "$((sx - x0)) $((sy - y0)) $sw $sh"
  fi
  sleep 0.5
  shot "$BB_TMP/before.png"
  click_centre "$(probe children "$SETUP" | awk -F'\t' '$2 == "Button" && $3 == "About" { print $4 }')"
  local want_size about ax ay aw ah
  want_size="$(dev "$f" 419) $(dev "$f" 336)"
  find_about() {
    about=$(probe top | awk -F'\t' -v s=" $want_size" '$2 == "ZorvaneForm" && $5 == "visible" && substr($4, length($4) - length(s) + 1) == s { print $1 }')
    [[ -n "$about" ]]
  }
  if wait_for 3000 find_about; then
    ok "$t: About is 419 x 336 logical pixels"
    read -r ax ay aw ah <<<"$(rect "$about")"
    sleep 1.5
    shot "$BB_TMP/after.png"
    local pts=($ax $ay $((ax + aw - 1)) $ay $ax $((ay + ah - 1)) $((ax + aw - 1)) $((ay + ah - 1)))
    check "$t: About's corners show what was behind them" \
      "$(desk_pixels "$BB_TMP/before.png" "${pts[@]}" | xargs)" "$(desk_pixels "$BB_TMP/after.png" "${pts[@]}" | xargs)"
  else
    not_ok "$t: About is 419 x 336 logical pixels" "no visible $want_size window within 3 s"
  fi
  unset -f find_about
  end_exe "$EXE_PID"
  # A double-click on MIL, in device pixels.
  running_clock Format REG_DWORD 1 || return
  mil=$(child_where "$CLOCK" '$3 == "MIL"' | cut -f4)
  click_centre "$mil" 1 2
  local am=AM
  (($(date -u +%-H) >= 12)) && am=PM
  mode_is() { [[ -n "$(child_where "$CLOCK" '$3 == "'"$am"'"')" ]]; }
  wait_for 3000 mode_is
  unset -f mode_is
  check "$t: a double-click on MIL shows $am and stores Format 0" "$am|Format REG_DWORD 0x0" \
    "$(child_where "$CLOCK" '$3 == "MIL" || $3 == "AM" || $3 == "PM"' | cut -f3)|$(reg_values | grep '^Format')"
  end_exe "$EXE_PID"
}

case_scale() {
  local row
  for row in "96 1280x1024" "144 1920x1536" "192 2560x2048"; do
    # shellcheck disable=SC2086
    scale_row $row
  done
}
