# The 32-bit Windows program's tests on a kernel that runs no 32-bit programs (no IA32
# emulation), as on this project's machines and many virtual machines. Source it, then:
#
#   i386_layer_why_not      nothing (status 0) when the layer can run here, else why not (status 1)
#   i386_layer_make         makes its root when missing or made by another recipe (about 2 min
#                           and 600 MB from Debian's mirror, once per machine)
#   i386_layer_run CMD...   CMD as root in that root, in the caller's working folder; the working
#                           tree, /tmp and TMPDIR are the caller's own
#
# qemu-i386 from qemu-user 10 in bookworm-backports runs the 32-bit programs: Debian 12's own 7.2
# takes one to two minutes to start each Wine process. It is registered with binfmt_misc inside a
# private user and mount namespace only (Linux 6.7 and later), so the machine's binfmt_misc, apt
# and dpkg stay as they were. The root is Debian 12 for amd64 with i386 added and Wine in both
# halves, as a Debian desktop with Wine has it: the Wine server, wine64, Xvfb and the test tools
# run natively, and only the 32-bit Windows programs and their half of Wine are emulated.
# It is kept under /var/cache (ZORVANE_CACHE) in a folder named after its recipe.

I386_CACHE=${ZORVANE_CACHE:-/var/cache/zorvane}
I386_MIRROR=${I386_MIRROR:-http://deb.debian.org/debian}
I386_SECURITY=${I386_SECURITY:-http://deb.debian.org/debian-security}
I386_PACKAGES="wine wine64 wine32:i386 xvfb xdotool x11-utils imagemagick procps unzip fonts-wine
  fonts-liberation fonts-dejavu-core faketime libfaketime:i386 msitools wixl"
# Any change here makes a new root (and removes the old one).
I386_RECIPE="bookworm minbase amd64+i386; qemu-user bookworm-backports; $I386_PACKAGES; 1"
I386_DIR=$I386_CACHE/i386-$(printf '%s' "$I386_RECIPE" | sha256sum | cut -c1-12)
# How binfmt_misc knows an i386 ELF program (as qemu's own binfmt configuration has it).
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# i386_ns CMD...: CMD as root of a new user namespace mapping every id to itself, with its own
# mount namespace. Its status.
i386_ns() {
  local sync pid mine
  sync=$(mktemp -u "${TMPDIR:-/tmp}/zorvane-ns.XXXXXX")
  mkfifo "$sync" || return 1
  # The child waits until its id maps are written, which only the parent may do.
  unshare --user --mount -- bash -c 'read -r _ <"$0"; rm -f "$0"; exec "$@"' "$sync" "$@" &
  pid=$!
  mine=$(readlink /proc/self/ns/user)
  for _ in $(seq 300); do
    [[ "$(readlink "/proc/$pid/ns/user" 2>/dev/null)" != "$mine" ]] && break
    sleep 0.01
  done
  if ! { echo '0 0 4294967295' >"/proc/$pid/uid_map" && echo '0 0 4294967295' >"/proc/$pid/gid_map"; } 2>/dev/null; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -f "$sync"
    return 125
  fi
  echo go >"$sync"
  wait "$pid"
}

# The commands run inside i386_ns: qemu-i386 registered, then the root's mounts. $1: the layer's
# folder; then the command.
# shellcheck disable=SC2016
I386_ENTER='dir=$1; shift
mount -t binfmt_misc none /proc/sys/fs/binfmt_misc || exit 125
printf "%s" ":zorvane-i386:M::$I386_MAGIC:$I386_MASK:$dir/qemu-i386:F" >/proc/sys/fs/binfmt_misc/register || exit 125
root=$dir/root
for m in proc sys dev; do mount --rbind "/$m" "$root/$m" || exit 125; done
mount --bind /tmp "$root/tmp" || exit 125'

i386_layer_why_not() {
  if [[ $(id -u) != 0 ]]; then echo "needs root (a private namespace mapping every id)"; return 1; fi
  local tool
  for tool in unshare chroot debootstrap apt-get dpkg-deb sha256sum; do
    command -v "$tool" >/dev/null || { echo "$tool is missing"; return 1; }
  done
  i386_ns true || { echo "no private user namespace here"; return 1; }
  # binfmt_misc mounts in a user namespace since Linux 6.7.
  i386_ns mount -t binfmt_misc none /proc/sys/fs/binfmt_misc ||
    { echo "binfmt_misc cannot be mounted in a private namespace (Linux before 6.7)"; return 1; }
}

# i386_qemu DIR: qemu-i386 from bookworm-backports into DIR, through a private apt list: no
# source is added to the machine's apt.
i386_qemu() {
  local apt=$1/apt opts
  mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/parts"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $I386_MIRROR bookworm-backports main" \
    >"$apt/sources.list"
  opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt" -o "Dir::Cache::archives=$apt/archives"
    -o APT::Architectures=amd64 -o APT::Sandbox::User=root)
  apt-get -q "${opts[@]}" update >"$1/apt.log" 2>&1 &&
    (cd "$apt" && apt-get -q "${opts[@]}" download qemu-user/bookworm-backports) >>"$1/apt.log" 2>&1 &&
    dpkg-deb --fsys-tarfile "$apt"/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 >"$1/qemu-i386" &&
    chmod 755 "$1/qemu-i386" && rm -rf "$apt"
}

i386_layer_make() {
  [[ -f "$I386_DIR/ready" ]] && return 0
  mkdir -p "$I386_CACHE"
  # One maker at a time; a second waits and finds it made.
  exec {lock}>"$I386_CACHE/.lock"
  flock "$lock"
  if [[ ! -f "$I386_DIR/ready" ]]; then
    local tmp=$I386_DIR.making started=$SECONDS
    rm -rf "$tmp"
    mkdir -p "$tmp"
    echo "# 32-bit layer: making its root in $I386_DIR (once per machine)"
    if ! i386_qemu "$tmp"; then
      echo "# 32-bit layer: qemu-user from bookworm-backports could not be fetched ($(tail -1 "$tmp/apt.log"))"
    elif ! debootstrap --variant=minbase bookworm "$tmp/root" "$I386_MIRROR" >"$tmp/debootstrap.log" 2>&1; then
      echo "# 32-bit layer: debootstrap failed ($(tail -1 "$tmp/debootstrap.log"))"
    else
      printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s bookworm-security main\n' \
        "$I386_MIRROR" "$I386_MIRROR" "$I386_SECURITY" >"$tmp/root/etc/apt/sources.list"
      cp /etc/resolv.conf "$tmp/root/etc/resolv.conf" 2>/dev/null
      # shellcheck disable=SC2086
      if I386_MAGIC=$I386_MAGIC I386_MASK=$I386_MASK i386_ns bash -c "$I386_ENTER"'
           chroot "$root" dpkg --add-architecture i386 &&
           chroot "$root" apt-get -q update &&
           chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get -q install -y \
             --no-install-recommends "$@" && chroot "$root" apt-get clean' \
           bash "$tmp" $I386_PACKAGES >"$tmp/packages.log" 2>&1; then
        touch "$tmp/ready"
        local old
        for old in "$I386_CACHE"/i386-*; do
          [[ "$old" == "$tmp" ]] || rm -rf "$old"  # roots of other recipes
        done
        mv "$tmp" "$I386_DIR"
        echo "# 32-bit layer: root made in $((SECONDS - started)) s"
      else
        echo "# 32-bit layer: its packages could not be installed ($(tail -1 "$tmp/packages.log"))"
      fi
    fi
  fi
  flock -u "$lock"
  exec {lock}>&-
  [[ -f "$I386_DIR/ready" ]]
}

i386_layer_run() {
  local tree
  tree=$(git -C "$PWD" rev-parse --show-toplevel 2>/dev/null || echo "$PWD")
  I386_MAGIC=$I386_MAGIC I386_MASK=$I386_MASK i386_ns bash -c "$I386_ENTER"'
    tree=$1 tmpdir=$2; shift 2
    mkdir -p "$root$tree" && mount --bind "$tree" "$root$tree" || exit 125
    if [[ -n "$tmpdir" && "$tmpdir" != /tmp ]]; then
      mkdir -p "$root$tmpdir" && mount --bind "$tmpdir" "$root$tmpdir" || exit 125
    fi
    exec chroot "$root" bash -c "cd \"\$0\" && exec \"\$@\"" "$PWD" "$@"' \
    bash "$I386_DIR" "$tree" "${TMPDIR:-}" "$@"
}
