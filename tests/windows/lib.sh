# Shared functions of the Windows black-box cases (cases.sh): the program's registry key, starting
# and ending the program under Wine, and reading its windows through winprobe. Needs WINPROBE,
# EXE and BB_TMP, and tests/blackbox/lib.sh loaded. Windows' screen coordinates are those of the
# virtual desktop; DESK_X/DESK_Y turn them into the X root's for screenshots and xdotool.

DESK_RGB="90,30,130"          # the desktop's colour, set in the prefix; the program never uses it
DESK_COLOUR_REG="90 30 130"
KEY='HKCU\Software\Zorvane'
DESK_X=0
DESK_Y=0

# probe ARGS...: winprobe's output without the console's CRs, and its status (0, or 1 for "none").
# Any other status means Wine did not run it through (seen on a loaded machine): tried again.
probe() {
  local out rc try
  for try in 1 2 3; do
    out=$(wine "$WINPROBE" "$@" 2>/dev/null)
    rc=$?
    ((rc <= 1)) && break
  done
  [[ -n "$out" ]] && printf '%s\n' "${out//$'\r'/}"
  return "$rc"
}

# locate_desktop: DESK_X/DESK_Y from the desktop's X window; false when there is none.
locate_desktop() {
  local geo
  geo=$(xwininfo -name "Default - Wine desktop" 2>/dev/null) || return 1
  DESK_X=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$geo")
  DESK_Y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$geo")
}

# reg_set NAME TYPE DATA: one value under the program's key, as a user (or an installer) would.
reg_set() { wine reg add "$KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1; }

# reg_values: "Name TYPE data" of each value under the key, one per line (empty when none).
reg_values() {
  wine reg query "$KEY" 2>/dev/null | tr -d '\r' | awk 'NF >= 2 && /^    / { $1 = $1; print }'
}

# fresh_key [NAME TYPE DATA]...: the key removed, then the given values stored. A TYPE such as
# hex(4) stores DATA (bytes as 03,00,00) through a regedit import, which keeps sizes that
# `reg add` cannot make.
fresh_key() {
  wine reg delete "$KEY" /f >/dev/null 2>&1
  local raw=""
  while (($# >= 3)); do
    if [[ "$2" == hex* ]]; then raw+="\"$1\"=$2:$3"$'\r\n'; else reg_set "$1" "$2" "$3"; fi
    shift 3
  done
  if [[ -n "$raw" ]]; then
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Zorvane]\r\n%s\r\n' "$raw" >"$BB_TMP/import.reg"
    wine regedit /s "Z:${BB_TMP//\//\\}\\import.reg" >/dev/null 2>&1
  fi
}

# start_exe LOGNAME [EXE]: starts the program; sets EXE_PID. That is Wine's start.exe, which
# starts the program itself in its own process group and ends with its exit status.
start_exe() {
  spawn "$BB_TMP/$1" wine "${2:-$EXE}"
  EXE_PID=$SPAWNED
}

# program_pid PID: the program's own process in start_exe's process group.
program_pid() { pgrep -g "$1" -x "$(basename "$EXE")" | head -1; }

# end_exe PID: ends that start_exe's process group. Wine ignores SIGTERM; the server clears the
# windows of a killed process.
end_exe() {
  local program
  program=$(program_pid "$1")
  kill -KILL -- "-$1" 2>/dev/null
  # Quiet: bash reports a job killed by a signal on stderr when it reaps it.
  wait_exit "$1" 3000 2>/dev/null
  forget "$1"
  # The program is start.exe's child, not ours: watch it go, then its windows.
  gone() { ! alive "$program"; }
  [[ -n "$program" ]] && wait_for 3000 gone
  unset -f gone
  wait_for 3000 no_clock_windows
}

# clock_lines [visible]: winprobe lines of the clock windows (the visible ones only).
clock_lines() {
  probe top Zorvane | awk -F'\t' -v v="${1:-}" '$2 == "ZorvaneForm" && (v == "" || $5 == v)'
}
no_clock_windows() { [[ -z "$(clock_lines)" ]]; }

# wait_window TITLE CLASS [MS]: waits for that visible top-level window; prints its handle.
wait_window() { probe wait "$1" "${3:-8000}" "$2" | cut -f1 | grep .; }

# rect HWND: "x y w h" in desktop coordinates.
rect() { probe top | awk -F'\t' -v h="$1" '$1 == h { print $4 }'; }

# window_at HWND "X Y": true when the window's top-left is there.
window_at() { [[ "$(rect "$1" | cut -d' ' -f1-2)" == "$2" ]]; }

# child_where HWND AWK-CONDITION: the first child line matching (fields as winprobe prints them).
child_where() { probe children "$1" | awk -F'\t' "$2 { print; exit }"; }

# click_at X Y [BUTTON [REPEAT]]: desktop coordinates.
click_at() {
  xdotool mousemove $((DESK_X + $1)) $((DESK_Y + $2)) click --repeat "${4:-1}" --delay 80 "${3:-1}"
}

# click_centre "x y w h" [BUTTON [REPEAT]]: a click in the middle of that rectangle.
click_centre() {
  local x y w h
  read -r x y w h <<<"$1"
  click_at $((x + w / 2)) $((y + h / 2)) "${2:-1}" "${3:-1}"
}

# desk_pixels FILE X Y ...: pixels at desktop coordinates of a screenshot.
desk_pixels() {
  local file=$1 args=()
  shift
  while (($# >= 2)); do args+=($((DESK_X + $1)) $((DESK_Y + $2))); shift 2; done
  pixels "$file" "${args[@]}"
}

# msgbox_says HWND: the box's text (its Static child with text).
msgbox_says() { child_where "$1" '$2 == "Static" && $3 != ""' | cut -f3; }

# press_ok HWND: the OK button of a message box, clicked with the mouse.
press_ok() { click_centre "$(child_where "$1" '$2 == "Button" && $3 == "OK"' | cut -f4)"; }

# running_clock NAME TYPE DATA...: a fresh key with these values and a running, visible clock;
# sets CLOCK (its handle). False, after reporting T's failure, when no clock shows.
running_clock() {
  fresh_key "$@"
  start_exe clock
  if ! CLOCK=$(wait_window Zorvane ZorvaneForm); then
    not_ok "$t: clock shown" "no visible clock within 8 s ($(head -c 200 "$BB_TMP/clock.err"))"
    end_exe "$EXE_PID"
    return 1
  fi
}
