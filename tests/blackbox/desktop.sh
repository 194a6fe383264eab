# What a Linux desktop expects of the program: its command line (no display needed) and the
# properties window managers and pagers read from every top-level window.

# run_cli ARG...: the program with these arguments and no DISPLAY; sets CLI_RC, CLI_OUT, CLI_ERR.
run_cli() {
  new_env
  env -i PATH="$PATH" HOME="$ENV_DIR/home" XDG_CONFIG_HOME="$ENV_DIR/config" LC_ALL=C \
    "$ZORVANE" "$@" >"$ENV_DIR/out" 2>"$ENV_DIR/err" </dev/null
  CLI_RC=$?
  CLI_OUT=$(cat "$ENV_DIR/out")
  CLI_ERR=$(cat "$ENV_DIR/err")
}

group_cmdline() {
  run_cli --version
  check "--version: status, stdout, stderr" "0|zorvane 1.00 (28 Nov 2007)|" "$CLI_RC|$CLI_OUT|$CLI_ERR"
  run_cli --help
  check "--help: status 0, nothing on stderr" "0|" "$CLI_RC|$CLI_ERR"
  check "--help: usage first" "Usage: zorvane [--help | --version]" "$(head -1 <<<"$CLI_OUT")"
  check "--help: where the settings live" "Settings: $ENV_DIR/config/zorvane/settings.reg" \
    "$(grep '^Settings: ' <<<"$CLI_OUT")"
  # The first of --help and --version wins; "--" ends the options; a stray word is named.
  local args want rc err
  while IFS='|' read -r args want; do
    # shellcheck disable=SC2086
    run_cli $args
    case "$want" in
      usage) check "'$args': the help, status 0" "0|Usage: zorvane [--help | --version]|" \
        "$CLI_RC|$(head -1 <<<"$CLI_OUT")|$CLI_ERR" ;;
      version) check "'$args': the version, status 0" "0|zorvane 1.00 (28 Nov 2007)|" \
        "$CLI_RC|$CLI_OUT|$CLI_ERR" ;;
      zorvane:*) check "'$args': status 2, names it, then the usage" \
        "2||$want|Usage: zorvane [--help | --version]" \
        "$CLI_RC|$CLI_OUT|$(sed -n 1p <<<"$CLI_ERR")|$(sed -n 2p <<<"$CLI_ERR")" ;;
      *) check "'$args': starts the clock, which needs a display" "1||$want" \
        "$CLI_RC|$CLI_OUT|$(sed 's/^zorvane: //; s/:.*//' <<<"$CLI_ERR")" ;;
    esac
  done <<'CASES'
--bogus|zorvane: unknown option '--bogus'
-x|zorvane: unknown option '-x'
extra|zorvane: unexpected argument 'extra'
extra --bogus|zorvane: unknown option '--bogus'
-h|usage
--help --version|usage
--version --help|version
extra --version|version
--help --bogus|usage
-- --help|zorvane: unexpected argument '--help'
--|DISPLAY is not set
CASES
  # Output that cannot be written is an error: a full disk, a reader that has gone.
  err=$(env -u DISPLAY "$ZORVANE" --version 2>&1 >/dev/full)
  rc=$?
  check "--version to a full disk: status 1, says so" \
    "1|zorvane: write error: No space left on device" "$rc|$err"
  { sleep 0.5; env -u DISPLAY "$ZORVANE" --help 2>"$ENV_DIR/err"; } | true
  rc=${PIPESTATUS[0]}
  check "--help to a closed pipe: status 1, says so" "1|zorvane: write error: Broken pipe" \
    "$rc|$(cat "$ENV_DIR/err")"
  check "no settings written by the command line" "" "$(ls -A "$ENV_DIR/config")"
}

# top_props WIN: WM_CLASS, the names, WM_HINTS' input, the machine and the pid, one per line.
top_props() {
  xprop -id "$1" WM_CLASS WM_NAME _NET_WM_NAME WM_HINTS WM_CLIENT_MACHINE _NET_WM_PID 2>/dev/null |
    awk '/^WM_CLASS/ { print "class " $3 $4 }
         /^WM_NAME/ { sub(/^[^=]*= /, ""); print "name " $0 }
         /^_NET_WM_NAME/ { sub(/^[^=]*= /, ""); print "netname " $0 }
         /accepts input/ { print "input " $NF }
         /^WM_CLIENT_MACHINE/ { print "machine " $3 }
         /^_NET_WM_PID/ { print "pid " $3 }'
}

# check_props WHAT WIN NAME: the window carries every property, named NAME, from this program.
check_props() {
  local want
  want=$(printf '%s\n' 'class "zorvane","Zorvane"' "name \"$3\"" "netname \"$3\"" "input True" \
    "machine \"$(hostname)\"" "pid $CLOCK_PID")
  check "$1: ICCCM and EWMH properties $WM_TAG" "$want" "$(top_props "$2")"
}

group_desktop() {
  local t="top-level windows" box
  new_env
  start_clock
  if box=$(wait_msgbox 5000); then
    check_props "greeting" "$box" Zorvane
    click_named "$box" OK
  else
    not_ok "$t: greeting" "no greeting within 5 s"
  fi
  if ! CLOCK=$(wait_clock 5000); then
    not_ok "$t: clock" "no viewable clock within 5 s"
    stop "$CLOCK_PID"
    return
  fi
  sleep 0.3
  check_props "clock" "$CLOCK" Zorvane
  if open_setup "Hours(2)"; then
    check_props "Setup" "$SETUP" Setup
    if open_about; then check_props "About" "$ABOUT" About; else not_ok "$t: About" "did not open"; fi
  else
    not_ok "$t: Setup" "did not open"
  fi
  stop "$CLOCK_PID"
}
