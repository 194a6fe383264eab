# Faults of the accessibility bus: bad addresses, a listener that never accepts, a client that
# sends too much, a bus daemon that stops reading, and a bus that goes away and comes back. In
# each the clock must go on showing the seconds. Uses access.sh's private bus.

BUS_CLIENT="$HERE/bus_client.py"

bus_client() { env DBUS_SESSION_BUS_ADDRESS="$BUS" DISPLAY="$DISPLAY" /usr/bin/python3 "$BUS_CLIENT" "$@"; }

# second_cells CLIENT: the captions of the seconds tier, on one line.
second_cells() { "$XPROBE" children "$1" | awk -F'\t' '$2 ~ /^Sec\(/ { printf "%s ", $8 }'; }

# seconds_go_on: true when the clock (CLIENT) shows another second, twice, within 3 s each.
seconds_go_on() {
  local before n
  before=$(second_cells "$CLIENT")
  other_second() { [[ "$(second_cells "$CLIENT")" != "$before" ]]; }
  for n in 1 2; do
    wait_for 3000 other_second || return 1
    before=$(second_cells "$CLIENT")
  done
}

# rss_kb PID: the process's resident memory.
rss_kb() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$1/status"; }

# said PATTERN: how many of the clock's stderr lines match (grep -E).
said() { grep -cE "^zorvane: .*$1" "$ENV_DIR/clock.err"; }

# A clock of this case on its way, with settings so that no welcome comes first.
fault_clock() {
  new_env
  write_settings '"Format"=dword:00000001' '"Position"=dword:00000005'
  start_clock
}

# bus_clock: a clock of this case on the private bus (BUS); sets ME, its name there. False, after
# reporting T's failure, when it does not show or does not come on the bus.
bus_clock() {
  CLOCK_BUS=$BUS fault_clock
  shown_clock || return 1
  on_bus() { ME=$(bus_client find Zorvane 2>/dev/null) && [[ -n "$ME" ]]; }
  wait_for 5000 on_bus && return 0
  not_ok "$t: on the bus" "no application named Zorvane on the accessibility bus"
  stop "$CLOCK_PID"
  return 1
}

group_bus_faults() {
  local t="bus_faults" missing row source value
  missing=$(access_missing)
  if [[ -n "$missing" ]]; then
    skip "$t $WM_TAG" "missing $missing (apt-get install dbus at-spi2-core python3-pyatspi)"
    return
  fi

  # A bad %-escape wherever the address comes from: no bus, said once, and the clock runs. The
  # root window's property is anybody's to set.
  for row in "root window|unix:path=/tmp/%zz" "AT_SPI_BUS_ADDRESS|unix:path=/tmp/x%zz" \
    "DBUS_SESSION_BUS_ADDRESS|unix:abstract=%G1"; do
    source=${row%%|*} value=${row#*|}
    t="bus_faults: bad address in $source $WM_TAG"
    [[ $source == "root window" ]] && xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "$value"
    CLOCK_A11Y=$([[ $source == AT_SPI_BUS_ADDRESS ]] && echo "$value") \
      CLOCK_BUS=$([[ $source == DBUS_SESSION_BUS_ADDRESS ]] && echo "$value") fault_clock
    if shown_clock; then
      check_true "$t: the seconds go on" "they stopped at $(second_cells "$CLIENT")" seconds_go_on
      check "$t: said once" 1 "$(said 'bad %-escape')"
      stop "$CLOCK_PID"
    fi
    xprop -root -remove AT_SPI_BUS
  done

  # A listener whose backlog is full: connect() would wait for it for good.
  t="bus_faults: a listener that never accepts $WM_TAG"
  local sock="$BB_TMP/full.$RANDOM.sock" listener
  spawn "$BB_TMP/listener" /usr/bin/python3 "$HERE/stub_socket.py" full "$sock"
  listener=$SPAWNED
  full() { grep -qs full "$BB_TMP/listener.out"; }
  if wait_for 5000 full; then
    CLOCK_A11Y="unix:path=$sock" fault_clock
    if shown_clock; then
      check_true "$t: the seconds go on" "they stopped at $(second_cells "$CLIENT")" seconds_go_on
      check "$t: said once" 1 "$(said 'accepted no connection')"
      stop "$CLOCK_PID"
    fi
  else
    not_ok "$t: set-up" "the listener did not fill its backlog: $(head -c 200 "$BB_TMP/listener.err")"
  fi

  # The root window's bus address (anybody's to set) changed six times in two seconds, between
  # that full listener and one that takes connections and never says a word: joining each runs
  # beside the clock, so the seconds cell never stands still for over 1.2 s. Then one that takes
  # the login and Hello only after 0.8 s, and never answers Embed.
  t="bus_faults: the bus address changed six times in two seconds $WM_TAG"
  local silent="$BB_TMP/silent.$RANDOM.sock" slow="$BB_TMP/slow.$RANDOM.sock" quiet gap k
  spawn "$BB_TMP/silent" /usr/bin/python3 "$HERE/stub_socket.py" silent "$silent"
  quiet=$SPAWNED
  spawn "$BB_TMP/slow" /usr/bin/python3 "$HERE/stub_socket.py" slow "$slow"
  local slower=$SPAWNED
  listening() { [[ -S $silent && -S $slow ]]; }
  if full && wait_for 5000 listening; then
    fault_clock
    if shown_clock; then
      sample_seconds 6 "$ENV_DIR/seconds" &
      local sampler=$!
      sleep 1
      for k in 1 2 3 4 5 6; do
        xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "unix:path=$([[ $k == 6 ]] && echo "$slow" ||
          { ((k % 2)) && echo "$sock" || echo "$silent"; })"
        sleep 0.3
      done
      wait "$sampler"
      # Up to the end of the sampling too: a clock that stopped for good shows no change at all.
      gap=$(awk -v e="$(date +%s.%N)" 'NR > 1 && $1 - p > m { m = $1 - p } { p = $1 }
        END { if (e - p > m) m = e - p; printf "%.2f", m }' "$ENV_DIR/seconds")
      echo "# $t: longest gap $gap s"
      check_true "$t: no gap over 1.2 s in the seconds cell" "longest gap $gap s" \
        awk -v g="$gap" 'BEGIN { exit !(g > 0 && g <= 1.2) }'
      check "$t: the registry's silence said once" 1 "$(said 'registry did not answer')"
      check_true "$t: the slow bus was joined as far as Embed" "it saw: $(cat "$BB_TMP/slow.out")" \
        grep -q Embed "$BB_TMP/slow.out"
      stop "$CLOCK_PID"
    fi
    # At start-up the same slow bus: the first frame does not wait for the join. It shows before
    # Embed goes out (0.8 s after connecting) or soon after it, never a time-out later.
    t="bus_faults: a slow bus at start-up $WM_TAG"
    local seen
    seen=$(wc -l <"$BB_TMP/slow.out")
    CLOCK_A11Y="unix:path=$slow" fault_clock
    if shown_clock; then
      local shown embed
      shown=$(date +%s.%N)
      embedded() { embed=$(tail -n "+$((seen + 1))" "$BB_TMP/slow.out" | awk '$1 == "Embed" { print $2; exit }'); [[ -n $embed ]]; }
      wait_for 5000 embedded
      check_true "$t: the clock shown before Embed went out, or within 0.5 s of it" \
        "shown at $shown, Embed at ${embed:-never}" awk -v s="$shown" -v e="${embed:-0}" \
        'BEGIN { exit !(e > 0 && s < e + 0.5) }'
      stop "$CLOCK_PID"
    fi
  else
    not_ok "$t: set-up" "the stub buses did not listen: $(head -c 200 "$BB_TMP/silent.err" "$BB_TMP/slow.err")"
  fi
  xprop -root -remove AT_SPI_BUS
  stop "$quiet"
  stop "$slower"
  stop "$listener"

  t="bus_faults $WM_TAG"
  if ! start_bus; then
    not_ok "$t: set-up" "no accessibility bus came up"
    return
  fi
  # The daemon as the bus itself names it: start_bus's launcher may have lost the race to one
  # that the session bus started on its own.
  local daemon launcher
  daemon=$(bus_client daemon 2>/dev/null)
  launcher=$(ps -o ppid= -p "${daemon:-0}" | tr -d ' ')

  # Calls just under the size the clock keeps are taken, and once they are answered their memory
  # goes back. One call over it: its caller is told, and the connection stays.
  t="bus_faults: large calls $WM_TAG"
  if bus_clock; then
    local before after
    before=$(rss_kb "$CLOCK_PID")
    bus_client flood "$ME" 100 1000000
    bus_client name "$ME" >/dev/null 2>&1  # answered after all of them
    after=$(rss_kb "$CLOCK_PID")
    check_true "$t: idle memory back (${before} kB before, ${after} kB after)" "grew" \
      test "$after" -le $((before + 1024))
    t="bus_faults: an oversized call $WM_TAG"
    check "$t: the caller is told" org.freedesktop.DBus.Error.LimitsExceeded "$(bus_client big "$ME" 1500000 2>&1)"
    check "$t: the next call is answered" Zorvane "$(bus_client name "$ME" 2>&1)"
    check_true "$t: the seconds go on" "they stopped at $(second_cells "$CLIENT")" seconds_go_on
    stop "$CLOCK_PID"
  fi

  # The bus daemon stops reading while the clock has thousands of calls to answer (they pile up
  # while the clock itself is stopped), so its answers fill the socket.
  t="bus_faults: a stopped bus daemon $WM_TAG"
  if [[ -z "$daemon" || -z "$launcher" ]]; then
    not_ok "$t: set-up" "the accessibility bus did not name its daemon ('$daemon', launcher '$launcher')"
  elif bus_clock; then
    app_tree >/dev/null  # the cells read: their name changes go out too
    kill -STOP "$CLOCK_PID"
    bus_client flood "$ME" 3000
    sleep 0.5  # the daemon passes on what the clock's socket takes
    kill -STOP "$daemon"
    kill -CONT "$CLOCK_PID"
    check_true "$t: the seconds go on" "they stopped at $(second_cells "$CLIENT")" seconds_go_on
    kill -CONT "$daemon"
    check "$t: the bus serves the clock again" Zorvane "$(bus_client name "$ME" 2>&1)"
    stop "$CLOCK_PID"
  fi

  # Every call gets an answer, on any path.
  t="bus_faults: calls outside the tree $WM_TAG"
  if bus_clock; then
    check "$t: Ping on /" return "$(bus_client call "$ME" / org.freedesktop.DBus.Peer Ping 2>&1)"
    check "$t: GetMachineId" return "$(bus_client call "$ME" /x org.freedesktop.DBus.Peer GetMachineId 2>&1)"
    check "$t: another path" org.freedesktop.DBus.Error.UnknownObject \
      "$(bus_client call "$ME" /org/x org.a11y.atspi.Accessible GetRole 2>&1)"
    stop "$CLOCK_PID"
  fi

  # The launcher starts again: it announces its new bus on the root window, and the clock comes
  # onto it, its window with it, without being restarted.
  t="bus_faults: the bus comes back $WM_TAG"
  if [[ -z "$launcher" ]]; then
    not_ok "$t: set-up" "no launcher known"
  elif bus_clock; then
    kill -TERM "$launcher" "$daemon"
    spawn "$BB_TMP/launcher.$RANDOM" env DBUS_SESSION_BUS_ADDRESS="$BUS" "$ATSPI_LAUNCHER" --launch-immediately
    on_new_bus() { ME=$(bus_client find Zorvane 2>/dev/null) && [[ -n "$ME" ]]; }
    check_true "$t: on the new bus" "not there within 10 s" wait_for 10000 on_new_bus
    check "$t: its window there" "1|frame|Zorvane" "$(app_tree | window_rows Zorvane | head -1 | cut -d'|' -f1-3)"
    check_true "$t: the seconds go on" "they stopped at $(second_cells "$CLIENT")" seconds_go_on
    stop "$CLOCK_PID"
  fi
}
