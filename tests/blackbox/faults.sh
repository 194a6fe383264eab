# Faults from outside: a spoiled, removed or special settings file, a home folder missing or
# shut, two clocks writing at once, a write killed half-way, a user's own formatting, and a
# dialog destroyed by another client. Uses open_setup (dialogs.sh) and open_about (about.sh).

NOBODY=65534

# faults_clock [LOG]: a clock at the top-left spot with Format 1, in a fresh environment; sets
# CLOCK and CLIENT. False (with a failed check) when it does not show.
faults_clock() {
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock "${1:-clock}"
  if ! CLOCK=$(wait_clock 5000) || ! CLIENT=$(client_of "$CLOCK") || [[ -z "$CLIENT" ]]; then
    not_ok "$t: clock shown" "no viewable clock within 5 s ($(head -c 200 "$ENV_DIR/${1:-clock}.err"))"
    stop "$CLOCK_PID"
    return 1
  fi
}

# flip_format: a double-click on "MIL"/"AM"/"PM"; waits until the label shows something else.
flip_format() {
  local before
  before=$(caption "$CLIENT" Label1)
  double_click $(clock_point "$CLOCK" Label1)
  label_changed() { [[ "$(caption "$CLIENT" Label1)" != "$before" ]]; }
  wait_for 3000 label_changed
  unset -f label_changed
}

# err_lines PATTERN: how many lines of the clock's stderr match.
err_lines() { grep -c -- "$1" "$ENV_DIR/clock.err"; }
# err_exact LINE: how many lines of the clock's stderr are exactly LINE.
err_exact() { grep -cxF -- "$1" "$ENV_DIR/clock.err"; }

# sample_seconds S OUT: for S seconds, the time of every change of the clock's seconds cell.
sample_seconds() {
  local end=$((SECONDS + $1)) cur last=""
  while ((SECONDS < end)); do
    cur=$(caption "$CLIENT" "Sec(1)")
    [[ "$cur" != "$last" ]] && date +%s.%N && last=$cur
    sleep 0.02
  done >"$2"
}

# Another process holds the settings lock while "MIL" is double-clicked and Setup applied (four
# writes): the seconds cell never stops for more than 1.2 s, leaving out the time Setup is open
# (the clock holds still then), so it moves again within 1.2 s of Apply. Another user can only
# lock the folder, which stops nothing; a process of the user's own (a stuck clock) holding the lock file
# gets the change kept in memory, said once, and stored when it lets go.
case_settings_lock_held() {
  local t="settings lock held $WM_TAG" dir row holder gap who uid lock want sampler opened applied=0
  if [[ $(id -u) != 0 ]] || ! command -v setpriv >/dev/null || ! command -v flock >/dev/null; then
    skip "$t" "needs root, setpriv and flock to act as a second user"
    return
  fi
  faults_clock || return
  dir=$(dirname "$SETTINGS")
  chmod o+x "$BB_TMP" "$ENV_DIR" "$ENV_DIR/config"
  for row in "another user, the folder|$NOBODY|$dir|00000000" \
    "the user, the lock file|0|$dir/.settings.lock|00000001"; do
    IFS='|' read -r who uid lock want <<<"$row"
    spawn "$ENV_DIR/holder" setpriv --reuid "$uid" --regid "$uid" --clear-groups flock "$lock" sleep 30
    holder=$SPAWNED
    wait_for 3000 eval '! flock -n "$lock" true'
    sample_seconds 10 "$ENV_DIR/seconds" &
    sampler=$!
    sleep 1
    flip_format
    opened=$(date +%s.%N)
    open_setup Label1 && applied=$(date +%s.%N) && click_role "$SETUP" Command1
    wait "$sampler"
    gap=$(awk -v o="$opened" -v a="$applied" '$1 <= o && NR > 1 && $1 - p > m { m = $1 - p }
      $1 > a && !after { after = 1; if ($1 - a > m) m = $1 - a } { p = $1 }
      END { printf "%.2f", after ? m : 99 }' "$ENV_DIR/seconds")
    echo "# $t, $who: longest gap $gap s (99: none seen after Apply)"
    check_true "$t, $who: no gap over 1.2 s in the seconds cell" "longest gap $gap s" \
      awk -v g="$gap" 'BEGIN { exit !(g > 0 && g <= 1.2) }'
    [[ $uid == 0 ]] && check "$t, $who: nothing stored while held" 1 "$(grep -c '"Format"=dword:00000000' "$SETTINGS")"
    stop "$holder"
    stored() { grep -q "\"Format\"=dword:$want" "$SETTINGS"; }
    check_true "$t, $who: Format $want stored once free" "file holds $(grep Format "$SETTINGS")" \
      wait_for 3000 stored
  done
  check "$t: said once" 1 "$(err_lines 'is held by another process; changes are kept in memory')"
  stop "$CLOCK_PID"
}

# The settings lock held by a process of the user's own (a stuck clock) from before the clock
# starts. "MIL" is double-clicked, then the clock is ended: a double-click on Label3 closes it
# (status 0), or a signal that asks a program to end (a logout's SIGTERM, SIGHUP, Ctrl+C's SIGINT)
# ends it as the close does, then by that signal. A change the lock kept out is stored once it is
# free, at the latest while the clock ends (which waits up to 2 s for it); a lock still held then
# leaves the file as it was and one line naming the change. A start without a file greets, and
# its greeting's key is stored too: the next start does not greet again. A row is
#   name | file at start (Format 1, or none) | the holder lets go: before the change (greeted),
#   1 s after the end, or never | lines naming a change not stored | ended by: close or a signal
LOCK_HELD_ROWS=(
  'closed while held, freed within the wait|1|after close|0|close'
  'closed while held past the wait|1|never|1|close'
  'first start without a file, freed before a change|none|before change|0|close'
  'SIGTERM while held, freed within the wait|1|after close|0|TERM'
  'SIGHUP while held past the wait|1|never|1|HUP'
  'SIGINT while held, freed within the wait|1|after close|0|INT'
)

case_lock_held_at_end() {
  local row name file release named ending status t lock holder releaser want p expect
  if ! command -v flock >/dev/null; then
    skip "settings lock held at the end $WM_TAG" "needs flock"
    return
  fi
  for row in "${LOCK_HELD_ROWS[@]}"; do
    IFS='|' read -r name file release named ending <<<"$row"
    t="settings lock held: $name $WM_TAG"
    new_env
    if [[ $file == none ]]; then mkdir -p "$(dirname "$SETTINGS")"; else write_settings '"Format"=dword:00000001'; fi
    lock=$(dirname "$SETTINGS")/.settings.lock
    spawn "$ENV_DIR/holder" flock "$lock" sleep 30
    holder=$SPAWNED
    wait_for 3000 eval '! flock -n "$lock" true'
    start_clock
    if [[ $file == none ]]; then
      if wait_msgbox 5000 >/dev/null; then ok "$t: greeting shown"; xdotool key Return
      else not_ok "$t: greeting shown" "no message box within 5 s"; fi
    fi
    shown_clock || { stop "$holder"; continue; }
    [[ $release == "before change" ]] && stop "$holder"
    flip_format
    # What the label shows now is what must be stored: MIL is Format 1.
    want=00000000
    [[ "$(caption "$CLIENT" Label1)" == MIL ]] && want=00000001
    expect=$want
    [[ $release == never ]] && expect=00000001
    if [[ $ending == close ]]; then
      sleep 0.6  # past the double-click time, or the close would pair with the change's clicks
      p=$(clock_point "$CLOCK" Label3)
      double_click $p
      status=0
    else
      kill -s "$ending" "$CLOCK_PID"
      status=$((128 + $(kill -l "$ending")))
    fi
    releaser=""
    if [[ $release == "after close" ]]; then
      (sleep 1; kill -TERM -- "-$holder" 2>/dev/null) &
      releaser=$!
    fi
    if wait_exit "$CLOCK_PID" 5000; then
      check "$t: ends with status $status" "$status" "$EXIT_STATUS"
    else
      not_ok "$t: ends with status $status" "still running 5 s after the $ending"
      stop "$CLOCK_PID"
    fi
    [[ -n $releaser ]] && wait "$releaser"
    stop "$holder"
    check "$t: Format $expect in the file once the lock is free" "\"Format\"=dword:$expect" \
      "$(grep -h Format "$SETTINGS" 2>/dev/null || echo "no file")"
    check "$t: lines naming a change not stored" "$named" "$(err_lines \
      "these changes were not stored in $SETTINGS: \[HKEY_CURRENT_USER\\\\Software\\\\Zorvane\] \"Format\"=dword:00000000$")"
    start_clock again
    if wait_msgbox 2000 >/dev/null; then
      not_ok "$t: no greeting at the next start" "greeted again: $(cat "$SETTINGS" 2>/dev/null)"
    else
      ok "$t: no greeting at the next start"
    fi
    stop "$CLOCK_PID"
  done
}

# A settings file 4 bytes short of the limit the clock reads (comments): Setup's Apply, which
# would add "Mark", stores nothing and says so once for two Applies, and the next start reads
# the file (the clock at its stored spot, not the first-start one).
case_file_at_limit() {
  local t="settings file at the size limit $WM_TAG" xy i
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  awk -v n=$((1048572 - $(stat -c %s "$SETTINGS"))) 'BEGIN {
    while (n > 201) { printf ";%099d\n", 0; n -= 101 }
    printf ";%0" (n - 2) "d\n", 0 }' >>"$SETTINGS"
  cp "$SETTINGS" "$ENV_DIR/before.reg"
  start_clock
  shown_clock || return
  xy=$(win_xy "$CLOCK")
  for i in 1 2; do
    open_setup Label1 && click_role "$SETUP" Command1 && "$XPROBE" wait-gone "$SETUP" 3000
  done
  check_true "$t: file unchanged" "now $(stat -c %s "$SETTINGS") bytes" cmp -s "$ENV_DIR/before.reg" "$SETTINGS"
  check "$t: said once" 1 "$(err_lines 'bytes, more than the 1048576 it can be read back at')"
  stop "$CLOCK_PID"
  start_clock again
  shown_clock || return
  check "$t: next start at the stored spot" "$xy" "$(win_xy "$CLOCK")"
  check "$t: and reads the file" 0 "$(grep -c 'cannot be read' "$ENV_DIR/again.err")"
  stop "$CLOCK_PID"
}

# Fault 3. The settings file spoiled while the clock runs: the next change moves it aside and
# stores the change in a fresh file. Removed: the change cannot be stored, and one line says so.
case_spoiled_and_removed() {
  local t="settings spoiled, then removed, while running $WM_TAG"
  faults_clock || return
  local dir
  dir=$(dirname "$SETTINGS")
  printf 'no registry file\n' >"$SETTINGS"
  flip_format
  check "$t: label changed" 0 "$(caption "$CLIENT" Label1 | grep -c MIL)"
  check "$t: fresh file holds the key and the change" \
    $'[HKEY_CURRENT_USER\\Software\\Zorvane]\n"Format"=dword:00000000' \
    "$(grep -v -e '^Windows Registry' -e '^$' "$SETTINGS")"
  check "$t: spoiled file kept aside" "no registry file" "$(cat "$dir"/settings.reg.bad-* 2>/dev/null)"
  check "$t: one line says so" 1 "$(err_lines 'was moved aside to .*settings.reg.bad-.* and replaced$')"

  rm -f "$SETTINGS"
  flip_format
  flip_format
  check "$t: removed: label still switches" 0 "$(caption "$CLIENT" Label1 | grep -c MIL)"
  check "$t: removed: nothing stored" "no file" "$([[ -e "$SETTINGS" ]] && echo file || echo "no file")"
  check "$t: removed: said once for two changes" 1 "$(err_exact "zorvane: settings file $SETTINGS \
was removed while the clock ran; changes are not stored while it is missing")"
  stop "$CLOCK_PID"
}

# Faults 4 and 5. Two clocks of one user on two displays change "Format" and "Mark" at the same
# moment, round after round: the file always ends up with both changes, and no temporary file
# stays behind (one left by a killed write is cleared by the next write).
case_two_writers() {
  local t="two clocks writing at once $WM_TAG"
  faults_clock a || return
  local clockA=$CLOCK clientA=$CLIENT pidA=$CLOCK_PID displayA=$DISPLAY
  printf 'half a file' >"$SETTINGS.tmp"
  if ! start_x; then
    not_ok "$t: second X server" "Xvfb did not start"
    stop "$pidA"
    return
  fi
  local displayB=$DISPLAY
  start_clock b
  local pidB=$CLOCK_PID clockB clientB
  if ! clockB=$(wait_clock 5000) || ! clientB=$(client_of "$clockB"); then
    not_ok "$t: second clock shown" "no clock on $displayB"
    stop "$pidB"
    DISPLAY=$displayA
    stop "$pidA"
    return
  fi
  local pA pB round lost=0 format=1 mark=0
  pB=$(clock_point "$clockB" Label2)
  DISPLAY=$displayA
  pA=$(clock_point "$clockA" Label1)
  for round in 1 2 3 4 5 6 7 8; do
    DISPLAY=$displayA double_click $pA &
    local clickA=$!
    DISPLAY=$displayB double_click $pB &
    wait "$clickA" "$!"
    format=$((1 - format))
    mark=$((1 - mark))
    both() {
      [[ "$(setting_line Format)" == "\"Format\"=dword:0000000$format" &&
        "$(setting_line Mark)" == "\"Mark\"=dword:0000000$mark" ]]
    }
    wait_for 2000 both || lost=$((lost + 1))
    unset -f both
  done
  check "$t: rounds with a change lost" 0 "$lost"
  check "$t: only the settings file and its lock in the folder" ".settings.lock settings.reg" \
    "$(ls -A "$(dirname "$SETTINGS")" | xargs)"
  stop "$pidB"
  DISPLAY=$displayA
  stop "$pidA"
}

# Fault 6. A change keeps everything else in the file byte for byte: a BOM, CRLF line ends,
# comments, blank lines, REGEDIT4; and a UTF-16 export stays UTF-16.
case_file_kept_as_written() {
  local t="the user's own file $WM_TAG"
  new_env
  mkdir -p "$(dirname "$SETTINGS")"
  local before after
  before=$'\xEF\xBB\xBFREGEDIT4\r\n; my clock\r\n\r\n[HKEY_CURRENT_USER\\Software\\Zorvane]\r\n"Format"=dword:00000001\r\n\r\n; spot\r\n"Position"=dword:00000001\r\n'
  printf '%s' "$before" >"$SETTINGS"
  start_clock
  if ! CLOCK=$(wait_clock 5000) || ! CLIENT=$(client_of "$CLOCK"); then
    not_ok "$t: clock shown" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  flip_format
  check "$t: one line changed, the rest byte for byte" "${before/dword:00000001/dword:00000000}x" \
    "$(cat "$SETTINGS"; printf x)"
  stop "$CLOCK_PID"

  new_env
  mkdir -p "$(dirname "$SETTINGS")"
  before=$'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Zorvane]\r\n"Format"=dword:00000001\r\n"Position"=dword:00000001\r\n\r\n'
  { printf '\xFF\xFE'; printf '%s' "$before" | iconv -f UTF-8 -t UTF-16LE; } >"$SETTINGS"
  start_clock
  if ! CLOCK=$(wait_clock 5000) || ! CLIENT=$(client_of "$CLOCK"); then
    not_ok "$t: UTF-16 file read" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  check "$t: UTF-16 file read (no greeting)" MIL "$(caption "$CLIENT" Label1)"
  flip_format
  check "$t: UTF-16 byte order mark kept" fffe "$(head -c 2 "$SETTINGS" | od -An -tx1 | tr -d ' \n')"
  check "$t: UTF-16 file changed in one value" "${before/dword:00000001/dword:00000000}x" \
    "$(tail -c +3 "$SETTINGS" | iconv -f UTF-16LE -t UTF-8; printf x)"
  stop "$CLOCK_PID"
}

# Fault 7. The settings file or a folder above it unusable. The clock starts as without settings
# (greeting first), a change still switches "MIL", and stderr holds exactly the row's lines: each
# cause named once, nothing promised that cannot happen. A row is
#   name | user | set-up | what is at $F afterwards (stat %F) | stderr, lines joined by \n
# with $F the settings file (under $H/.config: no XDG_CONFIG_HOME), $H the home folder, which
# starts out as the user's and holds a file with Format=1, and $K where an odd file was moved.
# Rows for user nobody need a second uid, as root passes every permission check.
SETTINGS_FAULTS=(
  'a FIFO|root|rm "$F"; mkfifo "$F"|regular file|zorvane: settings file $F cannot be read (it is not a regular file); the clock runs without it and moves it aside at the next change\nzorvane: settings file $F was moved aside to $K and replaced'
  'a link to /dev/zero|root|rm "$F"; ln -s /dev/zero "$F"|regular file|zorvane: settings file $F cannot be read (it is not a regular file); the clock runs without it and moves it aside at the next change\nzorvane: settings file $F was moved aside to $K and replaced'
  'a folder|root|rm "$F"; mkdir "$F"|directory|zorvane: settings file $F is a folder, so settings are neither read from it nor stored in it; the clock runs without them'
  'in a missing home|nobody|rm -r "$H"|none|zorvane: settings not stored in $F: the folder $H is missing and cannot be made (Permission denied); the clock goes on with the value in memory'
  'in a home of mode 000|nobody|chmod 000 "$H"|regular file|zorvane: settings file $F cannot be read or stored: the folder $H cannot be entered (Permission denied); the clock runs without it'
)

case_settings_faults() {
  local row name user setup after expected t base H F K as box
  for row in "${SETTINGS_FAULTS[@]}"; do
    IFS='|' read -r name user setup after expected <<<"$row"
    t="settings file $name $WM_TAG"
    as=()
    if [[ $user == nobody ]]; then
      if [[ $(id -u) != 0 ]] || ! command -v setpriv >/dev/null; then
        skip "$t" "needs root and setpriv to run the clock as a second user"
        continue
      fi
      as=(setpriv --reuid $NOBODY --regid $NOBODY --clear-groups)
    fi
    new_env
    # Outside BB_TMP (mode 700): the second user must be able to reach the home folder's parent,
    # which stays root's, so that user cannot make a missing home.
    base=$(mktemp -d /tmp/zorvane-home.XXXXXX)
    chmod 755 "$base"
    H=$base/home
    F=$H/.config/zorvane/settings.reg
    SETTINGS=$F write_settings '"Format"=dword:00000001'
    mkdir -m 700 "$base/runtime"
    [[ $user == nobody ]] && chown -R $NOBODY:$NOBODY "$H" "$base/runtime"
    eval "$setup"
    CONFIG_MODE=unset clock_env
    spawn "$ENV_DIR/clock" "${as[@]}" "${CLOCK_ENV[@]}" HOME="$H" XDG_RUNTIME_DIR="$base/runtime" "$ZORVANE"
    CLOCK_PID=$SPAWNED
    if box=$(wait_msgbox 5000); then
      ok "$t: greeting shown"
      xdotool key Return
      if shown_clock; then
        flip_format
        check "$t: a change still switches the label" 0 "$(caption "$CLIENT" Label1 | grep -c MIL)"
        stop "$CLOCK_PID"
      fi
    else
      not_ok "$t: greeting shown" "no message box within 5 s ($(head -c 200 "$ENV_DIR/clock.err"))"
      stop "$CLOCK_PID"
    fi
    check "$t: what is left at its place" "$after" "$(stat -c %F "$F" 2>/dev/null || echo none)"
    K=$(ls -d "$F".bad-* 2>/dev/null)
    expected=${expected//'\n'/$'\n'}
    expected=${expected//'$F'/$F}
    expected=${expected//'$H'/$H}
    # Fontconfig may add its own line about a cache it cannot write in such a home: not ours.
    check "$t: exactly these lines on stderr" "${expected//'$K'/$K}" \
      "$(grep -v '^Fontconfig error: No writable cache directories' "$ENV_DIR/clock.err")"
    rm -rf "$base"
  done
}

# The zone file TZ names ($Z, with TZ=:$Z) is no regular file, at start or put in its place
# while the clock runs. The C library would block opening a FIFO for good: the clock shows UTC at
# start, or keeps the zone it had, its seconds go on, one line says so, and once a zone file
# (Berlin's) is moved into place the clock shows its hour within 2 s. A row is
#   name | set-up before the start | done while the clock runs | zone shown | the line on stderr
ZONE_FAULTS=(
  'a FIFO at start|mkfifo "$Z"|:|UTC|zorvane: the time zone file $Z is a FIFO, not a zone file; the clock shows UTC until one is there'
  'a FIFO moved in while running|cp "$ZI/Asia/Tokyo" "$Z"|mkfifo "$Z.new"; mv -T "$Z.new" "$Z"|Asia/Tokyo|zorvane: the time zone file $Z is a FIFO, not a zone file; the clock keeps the zone it had until a zone file is there again'
)

case_zone_faults() {
  local row name setup running zone expected t Z ZI sec
  for row in "${ZONE_FAULTS[@]}"; do
    IFS='|' read -r name setup running zone expected <<<"$row"
    t="zone file $name $WM_TAG"
    new_env
    write_settings '"Format"=dword:00000001'
    ZI=/usr/share/zoneinfo
    Z=$ENV_DIR/zone
    eval "$setup"
    clock_env
    spawn "$ENV_DIR/clock" "${CLOCK_ENV[@]}" TZ=":$Z" "$ZORVANE"
    CLOCK_PID=$SPAWNED
    shown_clock || continue
    eval "$running"
    sec=$(caption "$CLIENT" "Sec(1)")
    moved() { [[ "$(caption "$CLIENT" "Sec(1)")" != "$sec" ]]; }
    sleep 1
    check_true "$t: the seconds go on" "Sec(1) stayed '$sec'" wait_for 2000 moved
    unset -f moved
    check_hour "$t: shows the hour of $zone" "$CLOCK" "$zone"
    expected=${expected//'$Z'/$Z}
    check "$t: said once" 1 "$(err_exact "$expected")"
    cp "$ZI/Europe/Berlin" "$Z.new" && mv -T "$Z.new" "$Z"
    check_hour "$t: a zone file moved in shows within 2 s" "$CLOCK" Europe/Berlin
    stop "$CLOCK_PID"
  done
}

# Fault 8. Setup, then About, destroyed by another client: the clock runs on (tiers move, "MIL"
# switches) and both open again.
case_dialog_destroyed() {
  local t="dialog destroyed by another client $WM_TAG"
  faults_clock || return
  if ! open_setup Label1; then
    not_ok "$t: Setup shown" "no Setup window"
    stop "$CLOCK_PID"
    return
  fi
  if open_about; then
    xdotool windowclose "$ABOUT"
    check_true "$t: About gone" "About still there" "$XPROBE" wait-gone "$ABOUT" 3000
    sleep 0.6  # past the double-click time, or the second click on About counts as a double-click
    check_true "$t: About opens again" "no About window" open_about
    xdotool windowclose "$ABOUT"
    "$XPROBE" wait-gone "$ABOUT" 3000
  else
    not_ok "$t: About shown" "no About window"
  fi
  xdotool windowclose "$SETUP"
  check_true "$t: Setup gone" "Setup still there" "$XPROBE" wait-gone "$SETUP" 3000
  local sec
  sec=$(caption "$CLIENT" "Sec(1)")
  moved() { [[ "$(caption "$CLIENT" "Sec(1)")" != "$sec" ]]; }
  check_true "$t: the seconds tier moves on" "Sec(1) stayed '$sec'" wait_for 3000 moved
  unset -f moved
  flip_format
  check "$t: MIL switches" 0 "$(caption "$CLIENT" Label1 | grep -c MIL)"
  check_true "$t: Setup opens again" "no Setup window" open_setup Label1
  close_setup
  "$XPROBE" wait-gone "$SETUP" 3000
  check_true "$t: clock still running" "ended" alive "$CLOCK_PID"
  stop "$CLOCK_PID"
}

group_faults() {
  case_file_at_limit
  case_settings_lock_held
  case_lock_held_at_end
  case_spoiled_and_removed
  case_two_writers
  case_file_kept_as_written
  case_settings_faults
  case_zone_faults
  case_dialog_destroyed
}

group_faults_wm() { case_dialog_destroyed; }
