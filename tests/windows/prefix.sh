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
  [[ -n "${WINEPREFIX:-}" ]] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # Debian's Wine keeps its server socket in a folder /tmp/wine-XXXXXX whose name this file holds.
  local socket
  socket=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null) || true
  if [[ "$socket" =~ ^wine-[A-Za-z0-9]+$ ]]; then rm -rf "/tmp/$socket"; fi
  rm -rf "$WINEPREFIX"
}
