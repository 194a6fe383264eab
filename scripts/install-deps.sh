#!/usr/bin/env bash
# Installs, from Debian 12's own archive, what building and testing Zorvane needs and this
# machine lacks. Runs apt-get only when something is missing; needs root for that.
#   build:      g++ cmake make pkg-config libx11-dev libxext-dev libxft-dev libfontconfig-dev
#   unit tests: libgtest-dev; benchmarks: libbenchmark-dev
#   black-box:  xvfb xdotool x11-utils x11-apps imagemagick faketime openbox
#   fonts:      fonts-wine (Tahoma), fonts-liberation (Times New Roman), fonts-dejavu-core
#   Windows:    g++-mingw-w64-i686 g++-mingw-w64-x86-64 (cross compilers), wine wine64 and
#               wine32:i386 (which needs the i386 architecture added to dpkg)
set -euo pipefail

packages=(g++ cmake make pkg-config libx11-dev libxext-dev libxft-dev libfontconfig-dev
  libgtest-dev libbenchmark-dev xvfb xdotool x11-utils x11-apps imagemagick faketime openbox
  fonts-wine fonts-liberation fonts-dejavu-core procps
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386)

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
if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
