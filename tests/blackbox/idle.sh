# The clock that sleeps between seconds: the seconds cell still takes every value, the About
# credits keep their pace, and a new time zone or a step of the wall clock shows within 2 s.
# (What it costs is measured by bench/side_by_side.sh, not here.)

# sec_of CLOCK: the seconds cell's caption.
sec_of() { caption "$1" "Sec(1)"; }

case_idle_seconds() {
  local t="idle: seconds $WM_TAG"
  setup_clock clock '"Format"=dword:00000001' || return
  # Polled every 20 ms or so for 6 s: a value lasts a second, so none can slip by unseen.
  local seen=() cur last="" end=$((SECONDS + 6))
  while ((SECONDS < end)); do
    cur=$(sec_of "$CLOCK")
    [[ -n "$cur" && "$cur" != "$last" ]] && seen+=("$cur") && last=$cur
    sleep 0.02
  done
  local k bad=""
  for ((k = 1; k < ${#seen[@]}; k++)); do
    ((seen[k] == (seen[k - 1] + 1) % 60)) || bad+="${seen[k - 1]}->${seen[k]} "
  done
  check_true "$t: every value in turn, none skipped or repeated" "seen ${seen[*]}" test -z "$bad"
  check_true "$t: at least five seconds seen" "saw ${#seen[@]}: ${seen[*]}" test "${#seen[@]}" -ge 5
  # The cell shows the wall clock's second, give or take the one that is just turning.
  local now shown
  now=$(date -u +%-S)
  shown=$(sec_of "$CLOCK")
  check_true "$t: shows the wall clock's second" "shows $shown at second $now" \
    test $(((now - shown + 60) % 60)) -le 1
  stop "$CLOCK_PID"
}

case_idle_credits() {
  local t="idle: About credits $WM_TAG"
  setup_clock clock '"Format"=dword:00000001' '"Position"=dword:00000000' || return
  if ! open_setup "Hours(2)" || ! open_about; then
    not_ok "$t: About shown" "no About window via the Setup dialog"
    stop "$CLOCK_PID"
    return
  fi
  # Six steps of three 500-ms ticks: the last line arrives 9 s after opening. A timer held back
  # by the clock's long pause would make it late; a generous margin covers a loaded machine.
  local start=$SECONDS final
  final=$(credits_text 6)
  last_line() { [[ "$(caption "$ABOUT" Text1)" == "$final" ]]; }
  if wait_for 14000 last_line; then
    check_true "$t: all lines after 8 to 11 s" "after $((SECONDS - start)) s" \
      test $((SECONDS - start)) -ge 8 -a $((SECONDS - start)) -le 11
  else
    not_ok "$t: all lines after 8 to 11 s" "not all there after $((SECONDS - start)) s"
  fi
  unset -f last_line
  stop "$CLOCK_PID"
}

# hours_of CLOCK: the current cell of the hour tier.
hours_of() { caption "$1" "Hours(2)"; }

# hour_in ZONE [OFFSET_S]: the hour there now (or OFFSET_S seconds from now), as the tier shows it.
hour_in() { TZ=$1 date -d "@$(($(date +%s) + ${2:-0}))" +%-H; }

# check_hour NAME CLOCK ZONE [OFFSET_S]: the hour cell shows the hour of ZONE (OFFSET_S seconds
# on) within 2 s; an hour that turns meanwhile is accepted either way.
check_hour() {
  local name=$1 before
  shift
  before=$(hour_in "$2" "${3:-0}")
  shows_hour() {
    local h
    h=$(hours_of "$1")
    [[ "$h" == "$before" || "$h" == "$(hour_in "$2" "${3:-0}")" ]]
  }
  if wait_for 2000 shows_hour "$@"; then ok "$name"
  else not_ok "$name" "Hours(2) shows $(hours_of "$1"), expected $(hour_in "$2" "${3:-0}")"; fi
  unset -f shows_hour
}

case_idle_zone() {
  local t="idle: time zone change $WM_TAG"
  if ! unshare -m --propagation private true 2>/dev/null; then
    skip "$t" "no private mount namespace here (unshare -m needs CAP_SYS_ADMIN)"
    return
  fi
  new_env
  write_settings '"Format"=dword:00000001'
  # A copy of /etc mounted over /etc for the clock alone: its zone link can be replaced without
  # touching the machine's.
  local etc="$ENV_DIR/etc"
  cp -a /etc "$etc"
  ln -sfn /usr/share/zoneinfo/UTC "$etc/localtime"
  spawn "$ENV_DIR/clock" unshare -m --propagation private sh -c 'mount --bind "$0" /etc && exec "$@"' \
    "$etc" env -i PATH="$PATH" DISPLAY="$DISPLAY" HOME="$ENV_DIR/home" \
    XDG_RUNTIME_DIR="$ENV_DIR/runtime" XDG_CONFIG_HOME="$ENV_DIR/config" LC_ALL=C "$ZORVANE"
  CLOCK_PID=$SPAWNED
  shown_clock || return
  check_hour "$t: UTC at first" "$CLOCK" UTC
  # As timedatectl does it: a new link renamed over the old one.
  ln -sfn /usr/share/zoneinfo/Asia/Tokyo "$etc/localtime.new"
  mv -T "$etc/localtime.new" "$etc/localtime"
  check_hour "$t: Tokyo within 2 s" "$CLOCK" Asia/Tokyo
  # And as `ln -sf` does it: the link removed, then made again.
  ln -sfn /usr/share/zoneinfo/America/Sao_Paulo "$etc/localtime"
  check_hour "$t: Sao Paulo within 2 s" "$CLOCK" America/Sao_Paulo
  # A new /etc mounted over the watched one: its zone shows, and its own changes are followed.
  local etc2="$ENV_DIR/etc2"
  cp -a "$etc" "$etc2"
  ln -sfn /usr/share/zoneinfo/Europe/Berlin "$etc2/localtime"
  nsenter -t "$CLOCK_PID" -m mount --bind "$etc2" /etc
  check_hour "$t: Berlin from a new /etc within 2 s" "$CLOCK" Europe/Berlin
  ln -sfn /usr/share/zoneinfo/Asia/Tokyo "$etc2/localtime.new"
  mv -T "$etc2/localtime.new" "$etc2/localtime"
  check_hour "$t: Tokyo in the new /etc within 2 s" "$CLOCK" Asia/Tokyo
  stop "$CLOCK_PID"
}

# case_idle_tz HOW TZ: the clock runs with TZ set (ZI: the private zone folder) and TZDIR a private
# copy of two zones; the file TZ names becomes Tokyo's by HOW (rename: a new file moved over it,
# rewrite: written in place). The C library would keep Berlin while TZ's value stays the same.
case_idle_tz() {
  local how=$1 tz=$2 t="idle: TZ=$2, zone file changed by $1 $WM_TAG"
  new_env
  write_settings '"Format"=dword:00000001'
  local zi="$ENV_DIR/zi" file="$ENV_DIR/zi/Europe/Berlin"
  mkdir -p "$zi/Europe" "$zi/Asia"
  cp /usr/share/zoneinfo/Europe/Berlin "$file"
  cp /usr/share/zoneinfo/Asia/Tokyo "$zi/Asia/Tokyo"
  clock_env
  spawn "$ENV_DIR/clock" "${CLOCK_ENV[@]}" TZDIR="$zi" TZ="${tz/ZI/$zi}" "$ZORVANE"
  CLOCK_PID=$SPAWNED
  shown_clock || return
  check_hour "$t: Berlin at first" "$CLOCK" Europe/Berlin
  case $how in
    rename) cp "$zi/Asia/Tokyo" "$file.new" && mv -T "$file.new" "$file" ;;
    rewrite) cat "$zi/Asia/Tokyo" >"$file" ;;
  esac
  check_hour "$t: Tokyo within 2 s" "$CLOCK" Asia/Tokyo
  stop "$CLOCK_PID"
}

case_idle_step() {
  local t="idle: wall clock step $WM_TAG" lib=""
  for lib in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
    [[ -f "$lib" ]] && break
  done
  if [[ ! -f "$lib" ]]; then
    skip "$t" "libfaketime.so.1 not found (package libfaketime)"
    return
  fi
  new_env
  write_settings '"Format"=dword:00000001'
  local stamp="$ENV_DIR/faketime"
  echo "+0" >"$stamp"
  clock_env
  # The preload alone reads the file at every reading; faketime(1) would set a fixed FAKETIME.
  spawn "$ENV_DIR/clock" "${CLOCK_ENV[@]}" LD_PRELOAD="$lib" FAKETIME_TIMESTAMP_FILE="$stamp" \
    FAKETIME_NO_CACHE=1 DONT_FAKE_MONOTONIC=1 "$ZORVANE"
  CLOCK_PID=$SPAWNED
  shown_clock || return
  check_hour "$t: the real hour at first" "$CLOCK" UTC
  echo "+3600" >"$stamp"
  check_hour "$t: an hour on within 2 s" "$CLOCK" UTC 3600
  echo "-7200" >"$stamp"
  check_hour "$t: two hours back within 2 s" "$CLOCK" UTC -7200
  stop "$CLOCK_PID"
}

group_idle() {
  case_idle_seconds
  case_idle_zone
  local row
  for row in "rename Europe/Berlin" "rewrite Europe/Berlin" "rename ZI/Europe/Berlin"; do
    # shellcheck disable=SC2086 # a row is two words
    case_idle_tz $row
  done
  case_idle_step
  case_idle_credits
}
