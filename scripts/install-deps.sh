#!/usr/bin/env bash
# Installs, from Debian 12's own archive, what building and running (or testing) Zorvane needs
# and this machine lacks. Runs apt-get only when something is missing; needs root for that.
#   scripts/install-deps.sh run    the Linux program alone: compiler, CMake, X11/Xft/RandR
#                                  headers and the fonts it draws with
#   scripts/install-deps.sh package   the same and dpkg-dev, for `make deb`
#   scripts/install-deps.sh test   (the default) all of the above and what the tests need:
#     unit tests: libgtest-dev; benchmarks: libbenchmark-dev; fuzzing: clang
#     black-box:  xvfb xdotool x11-utils x11-apps x11-xserver-utils (xrandr) imagemagick
#                 faketime openbox
#     packaging:  desktop-file-utils (desktop-file-validate), dpkg-dev (dpkg-shlibdeps), file,
#                 man-db (man --warnings)
#     Windows:    g++-mingw-w64-i686 g++-mingw-w64-x86-64 (cross compilers), wine wine64 and
#                 wine32:i386 (which needs the i386 architecture added to dpkg)
set -euo pipefail

run_packages=(g++ cmake make pkg-config libx11-dev libxext-dev libxft-dev libfontconfig-dev
  libxrandr-dev fonts-wine fonts-liberation fonts-dejavu-core)
test_packages=(libgtest-dev libbenchmark-dev clang xvfb xdotool x11-utils x11-apps
  x11-xserver-utils imagemagick faketime openbox procps desktop-file-utils dpkg-dev file man-db
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" dpkg-dev) ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|package|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "install-deps: these Debian packages are missing and I am not root: ${missing[*]}" >&2
    exit 1
  fi
else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
