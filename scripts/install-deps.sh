#!/usr/bin/env bash
# Installs, from Debian 12's own archive, what a make target needs and this machine lacks. Runs
# apt-get only when something is missing; needs root for that, or sudo.
#   scripts/install-deps.sh run      the Linux program alone: make, the compiler, CMake, the
#                                    X11/Xft/RandR headers and the fonts it draws with
#   scripts/install-deps.sh build    the same and GoogleTest and Google Benchmark (`make build`)
#   scripts/install-deps.sh package  the run set and dpkg-dev (`make deb`)
#   scripts/install-deps.sh windows  make, CMake, the MinGW-w64 cross compilers and wixl (`make windows`)
#   scripts/install-deps.sh test     (the default) all of the above and what the tests need:
#     fuzzing: clang
#     black-box:  xvfb xdotool x11-utils x11-apps x11-xserver-utils (xrandr) imagemagick
#                 faketime openbox
#     packaging:  desktop-file-utils (desktop-file-validate), dpkg-dev (dpkg-shlibdeps), file,
#                 man-db (man --warnings), librsvg2-bin (rsvg-convert), appstream (appstreamcli)
#     Windows:    wine wine64, and wine32:i386 only where this kernel runs 32-bit programs
#                 (elsewhere debootstrap makes the 32-bit layer's own root: tests/windows/
#                 i386_layer.sh); wixl and msitools (msiinfo) for the installer packages, unzip
#     screen readers: dbus (a private session bus), at-spi2-core (the accessibility bus and its
#                 registry), python3-pyatspi (the test's reading client)
#     desktops:   mutter (GNOME, on X11 and its Wayland session), kwin-x11 and kwin-wayland
#                 (KDE Plasma on each), xfwm4 (Xfce), sway and grim (its screenshots), xwayland
#   scripts/install-deps.sh --list SET   prints the packages of SET, installs nothing
#
# apt is never left broken: the i386 architecture is added only where wine32 will be used, and
# removed again if its packages cannot be installed; an index that cannot be fetched is retried,
# then left to `apt-get install` to judge.
set -euo pipefail

run_packages=(make g++ cmake pkg-config libx11-dev libxext-dev libxft-dev libfontconfig-dev
  libxrandr-dev libxfixes-dev fonts-wine fonts-liberation fonts-dejavu-core)
build_packages=("${run_packages[@]}" libgtest-dev libbenchmark-dev)
windows_packages=(make cmake g++-mingw-w64-i686 g++-mingw-w64-x86-64 wixl)
test_packages=("${build_packages[@]}" g++-mingw-w64-i686 g++-mingw-w64-x86-64 clang xvfb xdotool
  x11-utils x11-apps x11-xserver-utils imagemagick faketime openbox procps desktop-file-utils
  dpkg-dev file man-db librsvg2-bin appstream wine wine64 wixl msitools unzip dbus at-spi2-core
  python3-pyatspi mutter kwin-x11 kwin-wayland xfwm4 sway grim xwayland debootstrap)

list_only=false
if [[ ${1:-} == --list ]]; then list_only=true; shift; fi
set_name=${1:-test}
case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  build) packages=("${build_packages[@]}") ;;
  package) packages=("${run_packages[@]}" dpkg-dev) ;;
  windows) packages=("${windows_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *) echo "usage: $0 [--list] [run|build|package|windows|test]" >&2; exit 2 ;;
esac

# Whether this kernel starts 32-bit x86 programs: a 93-byte i386 ELF that only calls exit(0).
# Kernels built without IA32 emulation answer "Exec format error".
kernel_runs_i386() {
  local elf rc
  elf=$(mktemp "${TMPDIR:-/tmp}/zorvane-i386.XXXXXX") || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'`
        `'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
        `'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
        `'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$elf"
  chmod 700 "$elf"
  "$elf" 2>/dev/null
  rc=$?
  rm -f "$elf"
  return $rc
}

# wine32 only where it can run; it needs the i386 architecture in dpkg.
no_i386=false
if [[ $set_name == test ]]; then
  if kernel_runs_i386; then packages+=(wine32:i386); else no_i386=true; fi
fi

if $list_only; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  [[ " ${missing[*]} " == *" $p "* ]] && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "install-deps: these Debian packages are missing and I am neither root nor able to use" \
      "sudo: ${missing[*]}" >&2
    echo "install-deps: ask an administrator to run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
# Said once, with the install it shapes.
if $no_i386; then
  echo "install-deps: this kernel runs no 32-bit programs, so wine32 is not installed: the" \
    "32-bit Windows program's tests run in the 32-bit layer (tests/windows/i386_layer.sh)."
fi

# An index can fail for a while (a mirror being synced): try again after a pause, then go on;
# apt-get install says whether what it needs is there.
update_indexes() {
  local try
  for try in 1 2 3; do
    $SUDO apt-get update -qq && return 0
    ((try < 3)) && { echo "install-deps: apt-get update failed; trying again in $((try * 10)) s"; sleep $((try * 10)); }
  done
  echo "install-deps: some package indexes could not be fetched; going on with what is there" >&2
}

native=() foreign=()
for p in "${missing[@]}"; do
  if [[ $p == *:i386 ]]; then foreign+=("$p"); else native+=("$p"); fi
done
update_indexes
if [ ${#native[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${native[@]}"
fi
if [ ${#foreign[@]} -gt 0 ]; then
  added=false
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=true
    update_indexes
  fi
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${foreign[@]}"; then
    if $added; then
      echo "install-deps: ${foreign[*]} could not be installed; removing the i386 architecture again" >&2
      $SUDO dpkg --remove-architecture i386
      $SUDO apt-get update -qq || true
    fi
    exit 1
  fi
fi
