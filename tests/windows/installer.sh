# The Windows packages a user downloads: each build's portable zip and Windows Installer package
# (cmake target `packages`, beside the program). A package whose program runs here is installed,
# upgraded and removed with Wine's msiexec, silently; one whose program cannot is read with
# msiinfo only. Sourced by blackbox.sh; needs EXE, TAG and the running desktop.

WIN_USER=$(id -un)   # Wine's profile folder is named after the Unix user
INSTALLED='C:\users\'"$WIN_USER"'\AppData\Local\Programs\Zorvane'
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# msi_property MSI NAME: a value of the package's Property table.
msi_property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n { print $2 }'; }

# exe_version EXE: the version resource's file version, "major.minor.build" as an installer has it.
exe_version() {
  local at
  at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -1 | cut -d: -f1)
  [[ -n "$at" ]] || return
  od -An -tu2 -j$((at + 8)) -N8 "$1" | awk '{ print $2 "." $1 "." $4 }'
}

# msiexec_q ARGS...: Wine's msiexec, silent, without the console's noise; its status. On the
# desktop's display: one started without it leaves the running programs without top windows.
msiexec_q() { wine msiexec "$@" /qn >/dev/null 2>&1; }

# installed_state: what the install left, one line each: files, shortcut, Run value, Apps &
# Features entries ("name version publisher") and the values under HKCU\Software\Zorvane.
installed_state() {
  local home=$WINEPREFIX/drive_c/users/$WIN_USER key
  (cd "$home/AppData/Local/Programs" 2>/dev/null && find Zorvane 2>/dev/null | LC_ALL=C sort)
  [[ -e "$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zorvane.lnk" ]] && echo "shortcut"
  wine reg query "$RUN_KEY" /v Zorvane 2>/dev/null | tr -d '\r' | awk '$1 == "Zorvane" { sub(/^ *Zorvane +REG_SZ +/, ""); print "run", $0 }'
  # Wine keeps a per-user product's entry under HKLM, Windows under HKCU. Both registry views:
  # where Wine has its 32-bit half, `wine reg` is the 32-bit tool and sees only the 32-bit view.
  for key in 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
    for view in 64 32; do
      wine reg query "$key" /s /reg:$view 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { if (name == "Zorvane") print "entry", name, ver, pub; name = ver = pub = "" }
        $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { ver = $3 } $1 == "Publisher" { pub = $3 }
        END { if (name == "Zorvane") print "entry", name, ver, pub }'
    done
  done | sort -u
  wine reg query 'HKCU\Software\Zorvane' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { sub(/^HKEY_CURRENT_USER\\Software\\/, ""); key = $0; if (key != "Zorvane") print "key", key }
      /^    / { print "value", key, $1, $3 }'
}

# The zip: one folder with the program, README.md and LICENSE.txt; the program is the build's.
check_zip() {
  local zip=$1 name
  name=$(basename "$zip" .zip)
  check "zip $TAG: contents" "$name/ $name/LICENSE.txt $name/README.md $name/zorvane.exe" \
    "$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
  if unzip -p "$zip" "$name/zorvane.exe" | cmp -s - "$EXE"; then ok "zip $TAG: the program is the build's"
  else not_ok "zip $TAG: the program is the build's" "it differs from $EXE"; fi
}

# What any package says of itself, read without installing it.
check_msi_tables() {
  local msi=$1 arch=$2
  check "msi $TAG: platform and language" "$arch;1033" \
    "$(msiinfo suminfo "$msi" | awk -F': ' '$1 == "Template" { print $2 }')"
  check "msi $TAG: name, maker, upgrade code, per-user" \
    "Zorvane Oskerand {1E52D3E8-E735-4E38-B2F3-93F26C82E8B9} 2 1" \
    "$(for p in ProductName Manufacturer UpgradeCode ALLUSERS MSIINSTALLPERUSER; do msi_property "$msi" "$p"; done | tr '\n' ' ' | sed 's/ $//')"
  check "msi $TAG: its version is the program's version resource" "$(exe_version "$EXE")" \
    "$(msi_property "$msi" ProductVersion)"
  # These builds set no web address or contact: none invented.
  check "msi $TAG: no address in its properties" "" \
    "$(msiinfo export "$msi" Property | grep -E 'example\.|^ARP(URLINFOABOUT|CONTACT|HELPLINK)')"
  check "msi $TAG: files" "LICENSE.txt README.md zorvane.exe" \
    "$(msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' 'NR > 3 { print $3 }' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
}

# check_msi_install MSI WIXL_ARCH: install, start at sign-in on and off, upgrade, downgrade
# refused, uninstall.
check_msi_install() {
  local msi=$1 t="msi $TAG" newer="$BB_TMP/newer.msi" stage box
  local files="Zorvane Zorvane/LICENSE.txt Zorvane/README.md Zorvane/zorvane.exe shortcut"
  fresh_key
  msiexec_q /i "$msi" AUTOSTART=1
  check "$t: silent install with AUTOSTART=1" "0 $files run \"$INSTALLED\\zorvane.exe\" entry Zorvane 1.0.0 Oskerand" \
    "$? $(installed_state | grep -vE '^(value|key)' | tr '\n' ' ' | sed 's/ $//')"
  msiexec_q /i "$msi" AUTOSTART=0
  check "$t: AUTOSTART=0 with the installed package turns sign-in start off" "0 0" \
    "$? $(installed_state | grep -c '^run')"
  msiexec_q /i "$msi" AUTOSTART=1
  check "$t: AUTOSTART=1 turns it on again" "0 1" "$? $(installed_state | grep -c '^run')"

  # The installed program, started as the shortcut starts it: the first-start greeting.
  start_exe installed "$WINEPREFIX/drive_c/users/$WIN_USER/AppData/Local/Programs/Zorvane/zorvane.exe"
  if box=$(wait_window Zorvane '#32770'); then
    check "$t: the installed program greets" "$GREETING" "$(msgbox_says "$box")"
    press_ok "$box"
    wait_window Zorvane ZorvaneForm 5000 >/dev/null
  else
    not_ok "$t: the installed program greets" "no message box within 8 s ($(head -c 300 "$BB_TMP/installed.err"))"
  fi
  end_exe "$EXE_PID"

  # A newer version over it: one entry, the newer one, and sign-in start kept.
  stage=$(dirname "$msi")/package/$(basename "$msi" .msi)
  (cd "$stage" && wixl -a "$2" -D Version=1.1.0 -D UpgradeBelow=1.1.1 -D Exe=zorvane.exe \
    -D Readme=README.md -D Licence=LICENSE.txt -D Icon=../zorvane.ico -D Homepage= -D Contact= \
    -o "$newer" \
    "$HERE/../../data/windows/zorvane.wxs") >/dev/null 2>&1
  msiexec_q /i "$newer"
  check "$t: a newer version replaces it and keeps sign-in start" "0 1 entry Zorvane 1.1.0 Oskerand" \
    "$? $(installed_state | grep -c '^run') $(installed_state | grep '^entry' | tr '\n' ' ' | sed 's/ $//')"
  msiexec_q /i "$msi"
  check "$t: an older version is refused" "1 entry Zorvane 1.1.0 Oskerand" \
    "$(($? != 0)) $(installed_state | grep '^entry' | tr '\n' ' ' | sed 's/ $//')"

  msiexec_q /x "$newer"
  check "$t: uninstall leaves only the settings" "0 value Zorvane Format 0x1" \
    "$? $(installed_state | tr '\n' ' ' | sed 's/ $//')"
}

# case_packages: the zip and package of EXE's build; installed when its program runs here.
case_packages() {
  local dir msi zip arch
  dir=$(dirname "$EXE")
  msi=$(ls "$dir"/zorvane-*-win*.msi 2>/dev/null | head -1)
  zip=${msi%.msi}.zip
  if [[ -z "$msi" || ! -f "$zip" ]]; then
    not_ok "packages $TAG" "no zorvane-*.msi and .zip beside $EXE (cmake --build ... --target packages)"
    return
  fi
  check_zip "$zip"
  if ! command -v msiinfo >/dev/null || ! command -v wixl >/dev/null; then
    skip "msi $TAG" "msiinfo or wixl missing (Debian packages msitools, wixl)"
    return
  fi
  if [[ "$msi" == *-win64.msi ]]; then arch=x64; else arch=Intel; fi
  check_msi_tables "$msi" "$arch"
  if runnable_exe "$EXE" >/dev/null; then
    check_msi_install "$msi" "$([[ $arch == x64 ]] && echo x64 || echo x86)"
  fi
}
