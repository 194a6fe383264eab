# One clock per display: the lock file, the search for a window titled "Zorvane", copies started
# together (however the display is spelt and whatever their environment), a lock left behind by
# a killed copy. And the X server going away.

ALREADY_RUNNING="Zorvane is already Running"

# start_first: a running, viewable clock in a fresh environment; sets FIRST_PID and FIRST_WIN.
start_first() {
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock first
  FIRST_PID=$CLOCK_PID
  FIRST_WIN=$(wait_clock 5000)
}

# second_copy_refused NAME: starts another copy (in the current ENV_DIR), expects the message,
# dismisses it with Return and expects exit status 0 with the first copy untouched.
second_copy_refused() {
  local t=$1 box
  start_clock second
  local second=$CLOCK_PID
  if ! box=$(wait_msgbox 5000); then
    not_ok "$t: message shown" "no message box within 5 s; second copy $(alive "$second" && echo running || echo ended)"
    stop "$second"
    return
  fi
  box=${box%%$'\n'*}
  check "$t: message text" "$ALREADY_RUNNING" "$(msgbox_text "$box")"
  check "$t: message title" $'Zorvane\nZorvane' "$("$XPROBE" title "$box")"
  check "$t: second copy waits for the message" running \
    "$(alive "$second" && echo running || echo ended)"
  xdotool key Return
  if wait_exit "$second" 5000; then
    check "$t: second copy exits with status 0" 0 "$EXIT_STATUS"
  else
    not_ok "$t: second copy exits with status 0" "still running 5 s after Return"
    stop "$second"
  fi
  check_true "$t: first copy still running" "process $FIRST_PID ended" alive "$FIRST_PID"
  check "$t: first clock still viewable" viewable "$("$XPROBE" geom "$FIRST_WIN" | awk '{print $1}')"
  check "$t: one clock window" 1 "$(count_clocks)"
}

case_second_copy() {
  local t="second copy $WM_TAG"
  start_first
  if [[ -z "$FIRST_WIN" ]]; then
    not_ok "$t: first clock shown" "no viewable clock within 5 s"
    stop "$FIRST_PID"
    return
  fi
  # The lock is in the user's own cache folder (from the password database, not $HOME), named
  # after the display number.
  local cache
  cache="$(getent passwd "$(id -u)" | cut -d: -f6)/.cache/zorvane"
  check_true "$t: lock file in ~/.cache/zorvane" "it holds: $(ls "$cache" 2>&1 | xargs)" \
    test -f "$cache/zorvane-_${DISPLAY#:}.lock"
  second_copy_refused "$t"
  stop "$FIRST_PID"
}

# A second copy with its own XDG_RUNTIME_DIR: refused all the same (the lock does not live there,
# and the window search finds the first clock, under a window manager in its frame).
case_window_search() {
  local t="second copy, other runtime dir $WM_TAG"
  start_first
  if [[ -z "$FIRST_WIN" ]]; then
    not_ok "$t: first clock shown" "no viewable clock within 5 s"
    stop "$FIRST_PID"
    return
  fi
  rm -rf "$ENV_DIR/runtime"
  mkdir -m 700 "$ENV_DIR/runtime"
  second_copy_refused "$t"
  stop "$FIRST_PID"
}

# Two copies started back to back: one clock, one message; afterwards one copy left running.
case_simultaneous() {
  local t="two copies at once $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock a
  local a=$CLOCK_PID
  start_clock b
  local b=$CLOCK_PID
  local box
  if ! box=$(wait_msgbox 5000); then
    not_ok "$t: one message shown" "no message box within 5 s"
    stop "$a"
    stop "$b"
    return
  fi
  box=${box%%$'\n'*}
  wait_clock 5000 >/dev/null
  check "$t: message text" "$ALREADY_RUNNING" "$(msgbox_text "$box")"
  check "$t: exactly one message" 1 "$("$XPROBE" count --title Zorvane --child-name OK)"
  check "$t: exactly one viewable clock" 1 "$(count_clocks --viewable)"
  xdotool key Return
  "$XPROBE" wait-gone "$box" 3000
  local ended="" status=""
  wait_for 5000 eval '! alive "$a" || ! alive "$b"'
  if ! alive "$a"; then ended=$a; elif ! alive "$b"; then ended=$b; fi
  if [[ -n "$ended" ]]; then
    wait_exit "$ended" 0
    status=$EXIT_STATUS
  fi
  check "$t: the refused copy exits with status 0" 0 "${status:-still running}"
  check "$t: the other copy keeps running" "1 running" \
    "$(( $(alive "$a" && echo 1 || echo 0) + $(alive "$b" && echo 1 || echo 0) )) running"
  check "$t: one clock window afterwards (any state)" 1 "$(count_clocks)"
  check "$t: it is viewable" 1 "$(count_clocks --viewable)"
  stop "$a"
  stop "$b"
}

# A copy killed without a chance to clean up must not block the next start.
case_stale_lock() {
  local t="after a killed copy $WM_TAG"
  start_first
  if [[ -z "$FIRST_WIN" ]]; then
    not_ok "$t: first clock shown" "no viewable clock within 5 s"
    stop "$FIRST_PID"
    return
  fi
  kill -KILL "$FIRST_PID"
  wait_exit "$FIRST_PID" 2000
  "$XPROBE" wait-gone "$FIRST_WIN" 3000
  start_clock again
  local again=$CLOCK_PID
  if wait_clock 5000 >/dev/null; then ok "$t: a new start shows the clock"; else
    not_ok "$t: a new start shows the clock" "no viewable clock within 5 s"
  fi
  check "$t: no message" 0 "$("$XPROBE" count --title Zorvane --child-name OK)"
  stop "$again"
}

# Another program's window whose caption is "Zorvane" in another case stops a start too, as the
# Windows program's search does.
case_foreign_caption() {
  local t="a foreign window titled ZORVANE $WM_TAG" other box
  new_env
  spawn "$ENV_DIR/xlogo" xlogo -title ZORVANE
  other=$SPAWNED
  if [[ -z "$("$XPROBE" wait-title ZORVANE viewable 5000)" ]]; then
    not_ok "$t: the foreign window shows" "no window titled ZORVANE within 5 s"
    stop "$other"
    return
  fi
  start_clock
  if box=$(wait_msgbox 5000); then
    check "$t: the start is refused with the message" "$ALREADY_RUNNING" "$(msgbox_text "${box%%$'\n'*}")"
    xdotool key Return
    if wait_exit "$CLOCK_PID" 5000; then check "$t: and ends with status 0" 0 "$EXIT_STATUS"
    else not_ok "$t: and ends with status 0" "still running 5 s after Return"; fi
  else
    not_ok "$t: the start is refused with the message" "no message box within 5 s"
  fi
  stop "$CLOCK_PID"
  stop "$other"
}

# Six copies at once, half started one way and half another: always one clock, and
# nobody is told the lock was not used. A row is "label|words before the program for one half|
# for the other half". "plant" runs a copy in a mount namespace where /tmp/zorvane-<uid> is a
# folder another user made first (open to all, holding that user's lock file).
case_one_clock_per_display() {
  local n=${DISPLAY#:} row label a b i planted="" err
  local rows=(
    ":N and :0N|DISPLAY=:$n|DISPLAY=:0$n"
    ":N and unix:N.0|DISPLAY=:$n|DISPLAY=unix:00$n.0"
    "XDG_RUNTIME_DIR set and unset|XDG_RUNTIME_DIR=RUNTIME|env -u XDG_RUNTIME_DIR"
    "XDG_RUNTIME_DIR and a link to it|XDG_RUNTIME_DIR=RUNTIME|XDG_RUNTIME_DIR=LINK"
    "another user's /tmp/zorvane-$(id -u), no XDG_RUNTIME_DIR|PLANT|PLANT")
  for row in "${rows[@]}"; do
    IFS='|' read -r label a b <<<"$row"
    local t="one clock: $label $WM_TAG"
    if [[ $a == PLANT ]] && ! planted=$(plant_lock_folder); then
      skip "$t" "$planted"
      continue
    fi
    new_env
    write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
    ln -s "$ENV_DIR/runtime" "$ENV_DIR/link"
    printf '#!/bin/sh\nmount --bind %s /tmp/zorvane-%s && exec "$@"\n' "$planted" "$(id -u)" >"$ENV_DIR/plant"
    chmod +x "$ENV_DIR/plant"
    clock_env
    local pids=() words
    for i in 0 1 2 3 4 5; do
      words=$a
      ((i % 2)) && words=$b
      words=${words//RUNTIME/$ENV_DIR/runtime}
      words=${words//LINK/$ENV_DIR/link}
      words=${words//PLANT/env -u XDG_RUNTIME_DIR unshare -m $ENV_DIR/plant}
      spawn "$ENV_DIR/copy$i" "${CLOCK_ENV[@]}" $words "$ZORVANE"
      pids+=("$SPAWNED")
    done
    wait_clock 5000 >/dev/null
    five_boxes() { [[ "$("$XPROBE" count --title Zorvane --child-name OK)" == 5 ]]; }
    wait_for 8000 five_boxes
    unset -f five_boxes
    check "$t: clocks" 1 "$(count_clocks)"
    check "$t: 'already Running' messages" 5 "$("$XPROBE" count --title Zorvane --child-name OK)"
    err=$(cat "$ENV_DIR"/copy*.err | grep -c 'single-instance lock')
    check "$t: no line about the lock" 0 "$err"
    for i in "${pids[@]}"; do stop "$i"; done
  done
  [[ -n "$planted" ]] && rm -rf "$(dirname "$planted")"
}

# plant_lock_folder: prints another user's folder (open to all, with a lock file in it) to be
# mounted at /tmp/zorvane-<uid>, or why it cannot be made.
plant_lock_folder() {
  local uid mine shared
  uid=$(id -u)
  mine=/tmp/zorvane-$uid
  if [[ $uid != 0 ]] || ! command -v setpriv >/dev/null || ! command -v unshare >/dev/null ||
    ! unshare -m true 2>/dev/null; then
    echo "needs root, setpriv and unshare -m to plant another user's folder"
    return 1
  fi
  # The mount point is the user's own folder, as an older copy made it (private to the user);
  # the plant is mounted over it only inside each copy's own mount namespace.
  [[ -d $mine ]] || mkdir -m 700 "$mine"
  shared=$(mktemp -d /tmp/zorvane-faults.XXXXXX)
  chmod 1777 "$shared"
  setpriv --reuid $NOBODY --regid $NOBODY --clear-groups mkdir -m 777 "$shared/zorvane-$uid"
  setpriv --reuid $NOBODY --regid $NOBODY --clear-groups touch "$shared/zorvane-$uid/zorvane-_${DISPLAY#:}.lock"
  echo "$shared/zorvane-$uid"
}

group_instance() {
  case_second_copy
  case_window_search
  case_foreign_caption
  case_simultaneous
  case_stale_lock
  case_one_clock_per_display
}

# The X server going away must end the program (not leave it spinning on a dead connection).
group_x_gone() {
  local t="X server killed $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000001'
  start_clock
  if ! wait_clock 5000 >/dev/null; then
    not_ok "$t: clock shown" "no viewable clock within 5 s"
    return
  fi
  stop_x
  if wait_exit "$CLOCK_PID" 5000; then ok "$t: program ends within 5 s"; else
    not_ok "$t: program ends within 5 s" "still running: $(ps -o stat=,pcpu= -p "$CLOCK_PID")"
  fi
}
