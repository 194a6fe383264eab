#!/usr/bin/env bash
# The README's two commands where nothing else is: a fresh Debian 12 root made by debootstrap
# (bash and apt; no make, git or compiler), the checkout copied in, then
#   1. the run command, on an Xvfb display of this machine bind-mounted into the root: passes
#      when the first start's greeting shows there and, after its OK is clicked, the clock;
#   2. the test command, with an unreachable archive source added first: passes when it
#      succeeds and `apt-get update` still works afterwards (the source removed again), with no
#      architecture left in dpkg that this kernel cannot run.
#
#   sudo tests/fresh/run.sh
#
# Not part of `make test`: it needs root, the package archive and about half an hour. The
# debootstrap result is kept as a tarball in $ZORVANE_FRESH_CACHE (default
# /var/cache/zorvane-fresh), so later runs start in seconds. Each check prints "ok - name" or
# "not ok - name: detail", with the time it took.
set -u

if [ "$(id -u)" -ne 0 ]; then
  echo "skip - $0 needs root (debootstrap, chroot, bind mounts)" >&2
  exit 77
fi
SRC=$(cd "$(dirname "$0")/../.." && pwd)
CACHE=${ZORVANE_FRESH_CACHE:-/var/cache/zorvane-fresh}
TARBALL=$CACHE/bookworm.tar.gz
WORK=$(mktemp -d /var/tmp/zorvane-fresh.XXXXXX)
ROOT=$WORK/root
XVFB_PID=
RUN_PID=

# The Debian archive this machine uses (deb822 or one-line sources), else Debian's own.
mirror() {
  local m
  m=$(grep -hoE '^URIs: *http[^ ]*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
  m=${m#URIs: }
  [[ -z $m ]] && m=$(grep -hoE '^deb +http[^ ]*/debian/? +bookworm ' /etc/apt/sources.list 2>/dev/null |
    awk '{ print $2; exit }')
  echo "${m:-http://deb.debian.org/debian}"
}

cleanup() {
  [[ -n $RUN_PID ]] && kill -- -"$RUN_PID" 2>/dev/null
  [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
  # Deepest mounts first.
  findmnt -rn -o TARGET | grep "^$ROOT/" | sort -r | while read -r m; do umount -l "$m"; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

PASSED=0 FAILED=0
ok() { PASSED=$((PASSED + 1)); echo "ok - $1"; }
not_ok() { FAILED=$((FAILED + 1)); echo "not ok - $1: $2"; }
took() { echo "$(($(date +%s) - $1)) s"; }
in_root() { chroot "$ROOT" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb "$@"; }
# in_root_pivoted CMD...: as in_root, with the root pivoted to in a mount namespace of its own
# rather than chrooted into: a chrooted process may not make user namespaces, which the 32-bit
# Windows tests need on a kernel that runs no 32-bit programs.
in_root_pivoted() {
  # shellcheck disable=SC2016
  unshare -m --propagation private bash -c 'mount --rbind "$0" "$0" && cd "$0" && mkdir -p .old &&
    pivot_root . .old && cd / && umount -l /.old && rmdir /.old &&
    exec env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb "$@"' "$ROOT" "$@"
}

# What this script itself needs on the host.
need=()
for tool in debootstrap:debootstrap Xvfb:xvfb xwininfo:x11-utils xdotool:xdotool; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if ((${#need[@]})); then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" ||
    { echo "not ok - host tools: ${need[*]} could not be installed"; exit 1; }
fi

# ---- a bare Debian 12 root, from the cache when there is one
t=$(date +%s)
mkdir -p "$ROOT" "$CACHE"
if [[ ! -s $TARBALL ]]; then
  M=$(mirror)
  if debootstrap bookworm "$ROOT" "$M" >"$WORK/debootstrap.log" 2>&1; then
    cat >"$ROOT/etc/apt/sources.list" <<EOF
deb $M bookworm main
deb $M bookworm-updates main
deb ${M%/debian}/debian-security bookworm-security main
EOF
    tar -C "$ROOT" -czf "$TARBALL.part" . && mv "$TARBALL.part" "$TARBALL"
  else
    echo "not ok - debootstrap bookworm from $M: $(tail -2 "$WORK/debootstrap.log" | tr '\n' ' ')"
    exit 1
  fi
else
  tar -C "$ROOT" -xzf "$TARBALL"
fi
for tool in make git g++ cmake; do
  [[ -e $ROOT/usr/bin/$tool ]] && { not_ok "the root is bare" "it has $tool"; }
done
ok "a bare Debian 12 root ($(took "$t"))"

mkdir -p "$ROOT/src/zorvane"
# The checkout as it stands, with uncommitted changes, without builds or ignored files.
(cd "$SRC" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) |
  tar -C "$ROOT/src/zorvane" -xf -
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
# /dev/shm as a booted system has it (sway's buffers live there; without it sway draws nothing).
for m in proc sys dev dev/pts dev/shm; do mount --bind "/$m" "$ROOT/$m"; done

# ---- the run command on a display of this machine
t=$(date +%s)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 50); do [[ -s $WORK/display ]] && break; sleep 0.1; done
D=:$(cat "$WORK/display")
mkdir -p "$ROOT/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$ROOT/tmp/.X11-unix"
setsid chroot "$ROOT" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb DISPLAY="$D" \
  bash -c 'cd /src/zorvane && ./run.sh' >"$WORK/run.log" 2>&1 &
RUN_PID=$!
# Waits up to $1 s for a window named $2 on the display; prints xwininfo's line for it.
wait_window() {
  local line
  for _ in $(seq "$1"); do
    line=$(DISPLAY=$D xwininfo -root -tree 2>/dev/null | grep -m1 "\"$2\"") && { echo "$line"; return 0; }
    kill -0 "$RUN_PID" 2>/dev/null || return 1
    sleep 1
  done
  return 1
}
# Building takes minutes; the greeting comes first on a first start.
if wait_window 1800 'Welcome to Zorvane[^"]*' >/dev/null && ok_line=$(wait_window 5 OK); then
  ok "run command: the greeting shows on $D ($(took "$t"))"
  # "+X+Y" absolute is the last field; the size is "WxH+x+y".
  read -r w h x y < <(awk '{ split($(NF-1), g, /[x+]/); split($NF, a, "+");
    print g[1], g[2], a[2], a[3] }' <<<"$ok_line")
  DISPLAY=$D xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  if wait_window 10 MIL >/dev/null; then ok "run command: the clock shows after OK"; else
    not_ok "run command: the clock shows after OK" "no \"MIL\" label on $D"
  fi
else
  not_ok "run command: the greeting shows" "$(tail -5 "$WORK/run.log" | tr '\n' ' ')"
fi
kill -- -"$RUN_PID" 2>/dev/null
wait "$RUN_PID" 2>/dev/null
RUN_PID=
umount -l "$ROOT/tmp/.X11-unix"
kill "$XVFB_PID" 2>/dev/null
XVFB_PID=

# ---- the test command, with one archive source that cannot be reached
t=$(date +%s)
echo "deb http://127.0.0.1:9/debian bookworm main" >"$ROOT/etc/apt/sources.list.d/unreachable.list"
in_root_pivoted bash -c 'cd /src/zorvane && ./test.sh' >"$WORK/test.log" 2>&1
rc=$?
# What the install step said (the kernel's answer on i386, retries), and each layer's count.
grep -E '^install-deps:|^Installing:' "$WORK/test.log" | cut -c1-200 | sed 's/^/# /'
grep -E '^[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?|tests passed, [0-9]+ tests failed' "$WORK/test.log" | sed 's/^/# /'
# What could not run in the bare root, and why.
grep -E '^skip - ' "$WORK/test.log" | cut -c1-200 | sed 's/^/# /'
cp "$WORK/test.log" "$CACHE/last-test.log" && echo "# the log: $CACHE/last-test.log"
if ((rc == 0)); then
  ok "test command with an unreachable source ($(took "$t"))"
else
  not_ok "test command with an unreachable source (exit $rc, $(took "$t"))" \
    "$(grep -E '^not ok|Error|error:|E: ' "$WORK/test.log" | head -10 | tr '\n' ' ')"
fi
rm -f "$ROOT/etc/apt/sources.list.d/unreachable.list"
if in_root apt-get update -qq >"$WORK/update.log" 2>&1; then
  ok "apt-get update works afterwards"
else
  not_ok "apt-get update works afterwards" "$(tail -3 "$WORK/update.log" | tr '\n' ' ')"
fi
foreign=$(in_root dpkg --print-foreign-architectures | tr '\n' ' ')
if [[ -z $foreign ]] || grep -q 'wine32:i386' <(in_root dpkg -l 'wine32:i386' 2>/dev/null); then
  ok "no foreign architecture without its packages (${foreign:-none})"
else
  not_ok "no foreign architecture without its packages" "dpkg has: $foreign"
fi
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
