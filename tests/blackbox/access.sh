# Screen readers: the program on a private accessibility (AT-SPI) bus, read and driven by a small
# client on pyatspi (atspi_client.py) as a screen reader would, and what it loads without a bus.

ATSPI_CLIENT="$HERE/atspi_client.py"
ATSPI_LAUNCHER=/usr/libexec/at-spi-bus-launcher
ACCESS_INSTANT="2026-12-10 10:20:37"

# access_missing: what this machine lacks for the group (empty: nothing).
access_missing() {
  local m=()
  command -v dbus-daemon >/dev/null || m+=(dbus-daemon)
  command -v dbus-send >/dev/null || m+=(dbus-send)
  [[ -x $ATSPI_LAUNCHER ]] || m+=("$ATSPI_LAUNCHER (at-spi2-core)")
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || m+=(python3-pyatspi)
  echo "${m[*]}"
}

# start_bus: a private session bus with the accessibility bus launcher on it; sets BUS.
start_bus() {
  local log="$BB_TMP/bus.$RANDOM"
  spawn "$log" dbus-daemon --session --nofork --print-address=1
  has_address() { [[ -s "$log.out" ]]; }
  wait_for 5000 has_address || return 1
  BUS=$(head -1 "$log.out")
  spawn "$log.launcher" env DBUS_SESSION_BUS_ADDRESS="$BUS" "$ATSPI_LAUNCHER" --launch-immediately
  launched() {
    dbus-send --bus="$BUS" --print-reply --dest=org.a11y.Bus /org/a11y/bus \
      org.a11y.Bus.GetAddress >/dev/null 2>&1
  }
  wait_for 5000 launched
}

atspi() { env DBUS_SESSION_BUS_ADDRESS="$BUS" DISPLAY="$DISPLAY" /usr/bin/python3 "$ATSPI_CLIENT" "$@"; }
# The tree, once the application is on the bus.
app_tree() {
  got_tree() { TREE=$(atspi tree Zorvane 2>/dev/null) && [[ -n "$TREE" ]]; }
  wait_for 5000 got_tree && echo "$TREE"
}
# Rows of the tree from the window at depth 1 named $1 on, up to the next window.
window_rows() { awk -F'|' -v w="$1" '$1 == 1 { on = ($3 == w) } on'; }
# The sockets a process holds: the X server's, and the accessibility bus's where there is one.
sockets() { find "/proc/$1/fd" -lname 'socket:*' 2>/dev/null | wc -l; }

group_access() {
  local t="access" missing got
  missing=$(access_missing)
  if [[ -n "$missing" ]]; then
    skip "$t $WM_TAG" "missing $missing (apt-get install dbus at-spi2-core python3-pyatspi)"
    return
  fi

  # Without a session bus the program opens no connection but the X server's; with one it holds
  # a second (the same check must see it then, or it could not tell).
  t="access: no bus $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000005'
  start_clock
  if shown_clock; then
    check "$t: the X connection only" 1 "$(sockets "$CLOCK_PID")"
    stop "$CLOCK_PID"
  fi
  if ! start_bus; then
    not_ok "$t: set-up" "no accessibility bus came up"
    return
  fi

  # The first start's welcome: an alert with its text and OK, which the reader presses.
  t="access: message box $WM_TAG"
  new_env
  CLOCK_BUS=$BUS start_clock
  if wait_msgbox >/dev/null; then
    got=$(app_tree | window_rows Zorvane | cut -d'|' -f1-3 | sed 's/|Welcome to Zorvane\..*/|Welcome/')
    check "$t: alert" "1|alert|Zorvane 2|label|Welcome 2|push button|OK" "$(xargs <<<"$got")"
    check "$t: press OK" pressed "$(atspi press Zorvane OK)"
    clock_up() { wait_clock >/dev/null; }
    check_true "$t: the clock follows" "no clock after OK" clock_up
    # Name changes go only to cells a client has read: none before, the seconds after.
    local names='object:property-change:accessible-name'
    check "$t: no name changes before the cells are read" 0 "$(atspi listen 2500 $names | grep -vc '^listening')"
    app_tree >/dev/null
    check_true "$t: the seconds' name changes once read" "too few" \
      test "$(atspi listen 2500 $names | grep -c '^object:property-change:accessible-name|label|')" -ge 2
  else
    not_ok "$t: shown" "no welcome message box"
  fi
  stop "$CLOCK_PID"

  t="access: clock $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000005' '"Mark"=dword:00000001'
  CLOCK_BUS=$BUS start_clock_at "$ACCESS_INSTANT"
  shown_clock || return
  # faketime runs the program as its child.
  check "$t: X and the accessibility bus" 2 "$(sockets "$(pgrep -g "$CLOCK_PID" -x zorvane | head -1)")"
  local tree frame
  tree=$(app_tree)
  check "$t: application" "0|application|Zorvane|" "$(head -1 <<<"$tree")"
  frame=$(window_rows Zorvane <<<"$tree")
  check "$t: frame" "1|frame|Zorvane" "$(head -1 <<<"$frame" | cut -d'|' -f1-3)"
  # The seconds tier as a reader reads it: the cells that show a second, named as they show it.
  local k want="" n=0 cap
  for k in 0 1 2 3 4; do
    cap=$(caption "$CLIENT" "Sec($k)")
    [[ -n "$cap" ]] && { want+="2|label|$cap "; n=$((n + 1)); }
  done
  got=$(sed -n "2,$((n + 1))p" <<<"$frame" | cut -d'|' -f1-3 | tr '\n' ' ')
  check "$t: seconds tier" "$want" "$got"
  check "$t: the current second among them" 1 "$(grep -c '^2|label|37|' <<<"$frame")"
  check "$t: mode label" 1 "$(grep -c '^2|label|MIL|' <<<"$frame")"

  t="access: setup $WM_TAG"
  if ! open_setup Label1; then
    not_ok "$t: shown" "no Setup dialog after a right-click on the mode label"
    return
  fi
  # States sorted by name, as the client prints them.
  local s="enabled,sensitive,showing,visible" c="checkable,checked,enabled,focusable"
  local r="checkable,enabled,focusable,sensitive,showing,visible"
  got=$(app_tree | window_rows Setup)
  want="1|dialog|Setup|active,enabled,modal,sensitive,showing,visible
2|check box|Marker ON|$c,focused,sensitive,showing,visible
2|check box|Military Time|$c,sensitive,showing,visible
2|radio button|top left|$r
2|radio button|top centre|$r
2|radio button|top right|$r
2|radio button|bottom left|$r
2|radio button|bottom centre|$c,sensitive,showing,visible
2|radio button|bottom right|$r
2|radio button|centre|$r
2|push button|Apply|enabled,focusable,sensitive,showing,visible
2|push button|About|enabled,focusable,sensitive,showing,visible
2|label|Select on screen location, Dbl Click Clock to Close|$s
2|link|$SETUP_URL|$s"
  check "$t: controls, roles and states" "$want" "$got"

  # Tab moves the focus from Marker ON to Military Time; a reader hears it.
  local log="$ENV_DIR/listen"
  spawn "$log" env DBUS_SESSION_BUS_ADDRESS="$BUS" DISPLAY="$DISPLAY" /usr/bin/python3 \
    "$ATSPI_CLIENT" listen 20000 object:state-changed:focused object:state-changed:checked
  listening() { grep -q '^listening' "$log.out"; }
  wait_for 5000 listening
  xdotool key Tab
  heard() { grep -q '^object:state-changed:focused|check box|Military Time|1$' "$log.out"; }
  check_true "$t: focus event on Tab" "heard: $(grep -v '^listening' "$log.out" | xargs)" \
    wait_for 3000 heard

  # About from Setup, and its OK, pressed by the reader: a modal window opened and closed from
  # the bus's own calls.
  check "$t: press About" pressed "$(atspi press Zorvane About)"
  about_rows() { [[ "$(app_tree | window_rows About | cut -d'|' -f1-2 | xargs)" == "1|dialog 2|text 2|push button" ]]; }
  check_true "$t: About's credits and OK" "read: $(app_tree | window_rows About | cut -d'|' -f1-3 | xargs)" \
    wait_for 3000 about_rows
  check "$t: press OK" pressed "$(atspi press Zorvane OK)"
  about_gone() { [[ -z "$(app_tree | window_rows About)" ]]; }
  check_true "$t: About closed" "still there" wait_for 3000 about_gone

  # A reader chooses a spot and presses Apply: the same handlers run and the choice is stored.
  check "$t: choose top left" pressed "$(atspi press Zorvane "top left")"
  chosen() { grep -q '^object:state-changed:checked|radio button|top left|1$' "$log.out"; }
  check_true "$t: the choice heard" "heard: $(grep checked "$log.out" | xargs)" wait_for 3000 chosen
  check "$t: press Apply" pressed "$(atspi press Zorvane Apply)"
  stored() { [[ "$(setting_line Position)" == '"Position"=dword:00000001' ]]; }
  check_true "$t: Apply stored Position" "stored $(setting_line Position)" wait_for 3000 stored
  stop "$CLOCK_PID"
}
