# A throw-away Wine prefix, shared by the Windows tests, the Windows bench and the screenshot
# script. Source it, then:
#   wine_prefix_make DIR [WxH]  exports WINEPREFIX=DIR and the quiet Wine environment, makes the
#                               prefix without a display (5-20 s) with automatic updates off and
#                               Wine's Tahoma and Marlett in its Fonts; with WxH, every program
#                               shows on one virtual desktop of that size. Wine's server is
#                               stopped again: one started without a display would run the
#                               desktop headless.
#   wine_prefix_remove          ends the prefix's server and removes the prefix and what Wine
#                               left in /tmp.

# Some kernels run no 32-bit programs (built without IA32 emulation). There Wine's 32-bit loader,
# which the `wine` command prefers once wine32 is installed, cannot start, and no 32-bit Windows
# program can run: every wine command then goes through the 64-bit loader (small wrappers put
# first on PATH, so that setsid and env find them too) and WINE_32BIT is "no".
wine_pick_loader() {
  WINE_32BIT=yes
  WINE_WRAPPERS=
  [[ -x /usr/lib/wine/wine64 ]] || return 0
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  WINE_32BIT=no
  WINE_WRAPPERS=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-wine64.XXXXXX")
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$WINE_WRAPPERS/wine"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot "$@"\n' >"$WINE_WRAPPERS/wineboot"
  chmod +x "$WINE_WRAPPERS/wine" "$WINE_WRAPPERS/wineboot"
  export PATH="$WINE_WRAPPERS:$PATH" WINELOADER=/usr/lib/wine/wine64
}
wine_pick_loader

# runnable_exe FILE: true when Wine can run this program here; otherwise says why on stdout.
runnable_exe() {
  local at machine
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j$((${at:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  if [[ "$machine" == 014c && "$WINE_32BIT" == no ]]; then
    echo "# skipped: $1 is a 32-bit program, and this kernel runs no 32-bit programs (no IA32 emulation)"
    return 1
  fi
}

wine_prefix_make() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  # No Mono or Gecko installers, and no menu entries written into $HOME.
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  DISPLAY= wineboot -i >/dev/null 2>&1
  # A program started with a faked date would otherwise run an update of the prefix.
  echo disable >"$WINEPREFIX/.update-timestamp"
  if [[ -n "${2:-}" ]]; then
    DISPLAY= wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    DISPLAY= wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null 2>&1
  fi
  # Else "Tahoma" maps to another face and the caption's close box shows an "r".
  cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

wine_prefix_remove() {
  if [[ -n "${WINEPREFIX:-}" ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    # Debian's Wine keeps its server socket in a folder /tmp/wine-XXXXXX whose name this file holds.
    local socket
    socket=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null) || true
    if [[ "$socket" =~ ^wine-[A-Za-z0-9]+$ ]]; then rm -rf "/tmp/$socket"; fi
    rm -rf "$WINEPREFIX"
  fi
  [[ -n "${WINE_WRAPPERS:-}" ]] && rm -rf "$WINE_WRAPPERS"
  return 0
}
