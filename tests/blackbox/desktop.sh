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
  local arg want
  for arg in --bogus -x extra "--help --version"; do
    case "$arg" in
      -*\ *) want="zorvane: unknown option '${arg#* }'" ;;
      -*) want="zorvane: unknown option '$arg'" ;;
      *) want="zorvane: unexpected argument '$arg'" ;;
    esac
    # shellcheck disable=SC2086
    run_cli $arg
    check "'$arg': status 2, nothing on stdout" "2|" "$CLI_RC|$CLI_OUT"
    check "'$arg': names it, then the usage" "$want|Usage: zorvane [--help | --version]" \
      "$(sed -n 1p <<<"$CLI_ERR")|$(sed -n 2p <<<"$CLI_ERR")"
  done
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
