#!/usr/bin/env bash
# Black-box tests of `make install`, `make uninstall` and `make deb`.
#
#   tests/package/run.sh BUILD_DIR
#
# BUILD_DIR holds a configured build with the program built; the Makefile's targets are run on
# it (BUILD=BUILD_DIR), so nothing here builds the program or touches another build. Installs go
# into a throw-away DESTDIR. The Debian package is installed and removed with apt-get only when
# running as root and no zorvane package is installed already. Each check prints "ok - name" or
# "not ok - name: detail"; the last line is "N passed, N failed" and the exit status is non-zero
# when anything failed.

set -u

if (($# != 1)) || [[ ! -f "$1/CMakeCache.txt" ]]; then
  echo "usage: $0 BUILD_DIR (a configured build directory)" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
TMP=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-package.XXXXXX")
trap 'rm -rf "$TMP"' EXIT
trap 'exit 130' INT TERM

PASSED=0
FAILED=0
SKIPPED=0
ok() { PASSED=$((PASSED + 1)); echo "ok - $1"; }
not_ok() { FAILED=$((FAILED + 1)); echo "not ok - $1: $2"; }
skip() { SKIPPED=$((SKIPPED + 1)); echo "skip - $1: $2"; }
check() { if [[ "$2" == "$3" ]]; then ok "$1"; else not_ok "$1" "expected '$2', got '$3'"; fi; }

for tool in make cmake cpack desktop-file-validate file man dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "not ok - set-up: $tool is missing (scripts/install-deps.sh test installs it)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

VERSION_LINE="zorvane 1.00 (28 Nov 2007)"
ICON_SIZES=(16 32 48 256)
# The AppStream id the metainfo file is named after, and the web address it names, if any.
APP_ID=$(sed -n 's/^ZORVANE_APP_ID:STRING=//p' "$BUILD_DIR/CMakeCache.txt")
HOMEPAGE=$(sed -n 's/^ZORVANE_HOMEPAGE:STRING=//p' "$BUILD_DIR/CMakeCache.txt")
# What an install puts under a prefix, sorted as `sort` sorts in the C locale. The package
# (deb) has the manual page compressed and a copyright file, as Debian asks.
expected_files() {
  local p=$1 flavour=${2:-install} s
  {
    echo "$p/bin/zorvane"
    echo "$p/share/applications/zorvane.desktop"
    for s in "${ICON_SIZES[@]}"; do echo "$p/share/icons/hicolor/${s}x$s/apps/zorvane.png"; done
    echo "$p/share/icons/hicolor/scalable/apps/zorvane.svg"
    echo "$p/share/metainfo/$APP_ID.metainfo.xml"
    echo "$p/share/doc/zorvane/README.md"
    echo "$p/share/doc/zorvane/LICENSE"
    for s in "$ROOT"/docs/*.png; do echo "$p/share/doc/zorvane/docs/${s##*/}"; done
    if [[ $flavour == deb ]]; then
      echo "$p/share/man/man1/zorvane.1.gz"
      echo "$p/share/doc/zorvane/copyright"
    else
      echo "$p/share/man/man1/zorvane.1"
    fi
  } | LC_ALL=C sort
}
# Every file, folder and link under DIR with its type, relative to DIR.
tree_of() { (cd "$1" && find . -printf '%y %p\n' | LC_ALL=C sort); }
run_make() { make -s -C "$ROOT" BUILD="$BUILD_DIR" "$@"; }

# The program prints its version without a display; checks the binary at PATH.
check_version() {
  local name=$1 bin=$2 out rc
  out=$(env -u DISPLAY timeout 10 "$bin" --version 2>"$TMP/version.err")
  rc=$?
  check "$name" "0 $VERSION_LINE" "$rc $out"
}

# Checks the installed data files under DIR (a prefix, with DESTDIR); MAN is the manual page's
# name under share/man/man1.
check_installed_data() {
  local tag=$1 dir=$2 man=$3 s got warnings
  if desktop-file-validate "$dir/share/applications/zorvane.desktop" >"$TMP/dfv" 2>&1 &&
    [[ ! -s "$TMP/dfv" ]]; then
    ok "$tag: desktop file is valid"
  else
    not_ok "$tag: desktop file is valid" "$(tr '\n' ' ' <"$TMP/dfv")"
  fi
  got=$(grep -E '^(Exec|Icon|Categories)=' "$dir/share/applications/zorvane.desktop" | tr '\n' ' ')
  check "$tag: desktop file starts zorvane with its icon as a clock" \
    "Exec=zorvane Icon=zorvane Categories=Utility;Clock; " "$got"
  for s in "${ICON_SIZES[@]}"; do
    got=$(file -b "$dir/share/icons/hicolor/${s}x$s/apps/zorvane.png" | cut -d, -f1-3)
    check "$tag: icon ${s}x$s is a $s px RGBA PNG" "PNG image data, $s x $s, 8-bit/color RGBA" "$got"
  done
  # The scalable icon drawn at 256 px matches the 256 px PNG drawn from the same shapes: 0.008
  # RMSE apart (edge smoothing differs). The grey icon they replaced is 0.28 away, the blue tip
  # 2 units shorter 0.14; one cell border more or less (0.017) is finer than this check sees.
  local icons=$dir/share/icons/hicolor meta=$dir/share/metainfo/$APP_ID.metainfo.xml
  if ! command -v rsvg-convert >/dev/null || ! command -v compare >/dev/null; then
    skip "$tag: scalable icon renders as the 256 px one" \
      "rsvg-convert (librsvg2-bin) or compare (imagemagick) is missing"
  else
    got=$(rsvg-convert -w 256 -h 256 -o "$TMP/svg.png" "$icons/scalable/apps/zorvane.svg" 2>&1 &&
      compare -metric RMSE "$TMP/svg.png" "$icons/256x256/apps/zorvane.png" null: 2>&1)
    if awk -v d="$(sed -n 's/.*(\(.*\))$/\1/p' <<<"$got")" 'BEGIN { exit !(d != "" && d < 0.03) }'; then
      ok "$tag: scalable icon renders as the 256 px one"
    else
      not_ok "$tag: scalable icon renders as the 256 px one" "RMSE $got, want under 0.03"
    fi
  fi
  # The AppStream data: not one warning, started from the installed menu entry, and the build's
  # own web address or none.
  if ! command -v appstreamcli >/dev/null; then
    skip "$tag: metainfo validates without warnings" "appstreamcli (appstream) is missing"
  elif appstreamcli validate --no-net "$meta" >"$TMP/asv" 2>&1; then
    ok "$tag: metainfo validates without warnings"
  else
    not_ok "$tag: metainfo validates without warnings" "$(tr '\n' ' ' <"$TMP/asv")"
  fi
  got=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$meta")
  check "$tag: metainfo launches the installed desktop file" "zorvane.desktop yes" \
    "$got $([[ -f "$dir/share/applications/$got" ]] && echo yes)"
  check "$tag: metainfo's homepage is the build's, no placeholder address" "$HOMEPAGE|" \
    "$(sed -n 's:.*<url type="homepage">\(.*\)</url>.*:\1:p' "$meta")|$(grep -i 'example\.' "$meta")"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$dir/share/man/man1/$man" 2>&1 >"$TMP/man.txt")
  check "$tag: manual page formats without warnings" "" "$warnings"
  got=$(grep -E '^[A-Z][A-Z ]+$' "$TMP/man.txt" | tr '\n' '|')
  check "$tag: manual page sections" \
    "NAME|SYNOPSIS|DESCRIPTION|OPTIONS|POINTER ACTIONS|SETUP DIALOG|FILES|ENVIRONMENT|EXIT STATUS|EXAMPLES|" \
    "$got"
  if cmp -s "$ROOT/LICENSE" "$dir/share/doc/zorvane/LICENSE" &&
    cmp -s "$ROOT/README.md" "$dir/share/doc/zorvane/README.md"; then
    ok "$tag: README and LICENSE in share/doc/zorvane"
  else
    not_ok "$tag: README and LICENSE in share/doc/zorvane" "they differ from the source tree's"
  fi
  # Every relative link and picture of the installed README names an installed file.
  local dead="" target
  while read -r target; do
    [[ -e "$dir/share/doc/zorvane/$target" ]] || dead+=" $target"
  done < <(grep -oE '\]\([^)#]+\)' "$dir/share/doc/zorvane/README.md" | sed 's/^](//; s/)$//' |
    grep -vE '^[a-z]+:')
  if [[ -z "$dead" ]] && grep -q '](docs/' "$dir/share/doc/zorvane/README.md"; then
    ok "$tag: the installed README's links resolve"
  else
    not_ok "$tag: the installed README's links resolve" "dead:${dead:- (no links found)}"
  fi
}

# ---------------------------------------------------------------- the README's commands
echo "# what the README names"
# The README's words set as code: each `span` of its text (a span may run over a line end) and
# each line of its shell blocks (```sh) without its comment, one a line. Other blocks (the
# layout, a settings file) hold no commands.
readme_code() {
  awk '/^```/ { if (block) block = ""; else block = ($0 ~ /^```sh/) ? "sh" : "other"; next }
       block == "sh" { sub(/#.*/, ""); print; next }
       block != "" { next }
       { text = text " " $0 }
       END {
         while (match(text, /`[^`]+`/)) {
           print substr(text, RSTART + 1, RLENGTH - 2)
           text = substr(text, RSTART + RLENGTH)
         }
       }' "$ROOT/README.md" | sed 's/^ *//; s/ *$//' | grep -v '^$'
}
readme_code >"$TMP/readme-code"
# Every make target: `make -n` fails for a target the Makefile lacks.
targets=$(sed -n 's/^make \([a-z][a-z0-9-]*\).*/\1/p' "$TMP/readme-code" | LC_ALL=C sort -u)
missing=""
for t in $targets; do
  run_make -n "$t" >/dev/null 2>&1 || missing+=" $t"
done
if [[ -z "$targets" ]]; then
  not_ok "every make target the README names exists" "found no make target in README.md"
else
  check "every make target the README names exists ($(wc -w <<<"$targets") of them)" "" "$missing"
fi
# Every script of this tree it names is there; those it gives you to run (the two commands,
# scripts/, bench/, each suite's run.sh) may be run. The groups a suite reads in are only read.
scripts=$(sed -E 's/^([A-Z_][A-Z0-9_]*=[^ ]* +)*//' "$TMP/readme-code" | awk '{ print $1 }' | grep -E '^(\./)?[A-Za-z0-9_/.-]+\.(sh|py)$' |
  sed 's:^\./::' | LC_ALL=C sort -u)
missing=""
for c in $scripts; do
  case $c in
    */*/*.sh | */*/*.py) [[ $c == */run.sh || $c == */blackbox.sh ]] && want=-x || want=-f ;;
    *) want=-x ;;
  esac
  test "$want" "$ROOT/$c" || missing+=" $c"
done
if [[ -z "$scripts" ]]; then
  not_ok "every script the README names is there" "found none in README.md"
else
  check "every script the README names is there ($(wc -w <<<"$scripts") of them)" "" "$missing"
fi
# Every CMake preset it names.
presets=$(grep -o -- '--preset [a-z0-9]*' "$TMP/readme-code" | awk '{ print $2 }' | LC_ALL=C sort -u)
missing=""
for p in $presets; do
  (cd "$ROOT" && cmake --list-presets 2>/dev/null) | grep -q "^ *\"$p\"" || missing+=" $p"
done
check "every CMake preset the README names exists ($(wc -w <<<"$presets") of them)" "" "$missing"
# Every option of the program's own paragraph is accepted: no "unknown option" and status 2.
options=$(awk '/^The Linux program takes/ { on = 1 } on && /^$/ { exit } on { print }' "$ROOT/README.md" |
  grep -oE -- '`-[^` ]*`' | tr -d '`' | LC_ALL=C sort -u)
refused=""
for o in $options; do
  env -u DISPLAY timeout 10 "$BUILD_DIR/zorvane" "$o" >/dev/null 2>"$TMP/option.err"
  rc=$?
  if ((rc == 2)) || grep -q 'unknown option' "$TMP/option.err"; then refused+=" $o"; fi
done
if [[ -z "$options" ]]; then
  not_ok "every option the README names is accepted" "found no option in README.md"
else
  check "every option the README names is accepted ($(echo $options))" "" "$refused"
fi

# ---------------------------------------------------------------- make install / uninstall
echo "# make install / make uninstall into a DESTDIR"
DEST=$TMP/dest
PREFIX=/usr/local
# What was there before: a folder with someone else's file on the install's path, and an empty
# folder the install fills. Both must survive the uninstall.
mkdir -p "$DEST$PREFIX/share/man/man5" "$DEST$PREFIX/share/applications"
echo other >"$DEST$PREFIX/share/man/man5/other.5"
tree_of "$DEST" >"$TMP/before"

if run_make install PREFIX="$PREFIX" DESTDIR="$DEST" >"$TMP/install.log" 2>&1; then
  ok "make install exits 0"
else
  not_ok "make install exits 0" "$(tail -3 "$TMP/install.log" | tr '\n' ' ')"
fi
got=$( (cd "$DEST" && find . \( -type f -o -type l \) ! -name other.5 -printf '/%P\n') | LC_ALL=C sort)
check "install puts exactly the expected files under PREFIX" "$(expected_files "$PREFIX")" "$got"
got=$(stat -c '%A' "$DEST$PREFIX/bin/zorvane" "$DEST$PREFIX/share/man/man1/zorvane.1" 2>&1 | tr '\n' ' ')
check "installed modes: program 0755, data 0644" "-rwxr-xr-x -rw-r--r-- " "$got"
got=$(file -b "$DEST$PREFIX/bin/zorvane" | grep -o 'not stripped\|stripped' | head -1)
check "installed program is stripped" "stripped" "$got"
check_installed_data install "$DEST$PREFIX" zorvane.1
check_version "installed program prints its version without a display" "$DEST$PREFIX/bin/zorvane"

# Something else that lands in a folder the install made (as an icon cache would) keeps it.
touch "$DEST$PREFIX/share/icons/hicolor/icon-theme.cache"
if run_make uninstall DESTDIR="$DEST" >"$TMP/uninstall.log" 2>&1; then
  ok "make uninstall exits 0"
else
  not_ok "make uninstall exits 0" "$(tail -3 "$TMP/uninstall.log" | tr '\n' ' ')"
fi
if [[ -f "$DEST$PREFIX/share/icons/hicolor/icon-theme.cache" ]]; then
  ok "uninstall keeps a folder that holds another file"
else
  not_ok "uninstall keeps a folder that holds another file" "icon-theme.cache is gone"
fi
rm -f "$DEST$PREFIX/share/icons/hicolor/icon-theme.cache"
rmdir "$DEST$PREFIX/share/icons/hicolor" "$DEST$PREFIX/share/icons" 2>/dev/null
if diff "$TMP/before" <(tree_of "$DEST") >"$TMP/tree.diff"; then
  ok "uninstall leaves the DESTDIR as it was before the install"
else
  not_ok "uninstall leaves the DESTDIR as it was before the install" "$(tr '\n' ' ' <"$TMP/tree.diff")"
fi

# A second install into a fresh DESTDIR with another prefix: the uninstall removes it all.
DEST2=$TMP/dest2
mkdir -p "$DEST2"
run_make install PREFIX=/opt/zorvane DESTDIR="$DEST2" >"$TMP/install2.log" 2>&1
got=$( (cd "$DEST2" && find . -type f -printf '/%P\n') | LC_ALL=C sort)
check "install honours PREFIX=/opt/zorvane" "$(expected_files /opt/zorvane)" "$got"
run_make uninstall DESTDIR="$DEST2" >"$TMP/uninstall2.log" 2>&1
check "uninstall of a fresh prefix leaves an empty DESTDIR" "" "$(ls -A "$DEST2")"

# ---------------------------------------------------------------- make deb
echo "# make deb"
ARCH=$(dpkg --print-architecture)
DEB=$BUILD_DIR/zorvane_1.00_$ARCH.deb
rm -f "$DEB"
if run_make deb >"$TMP/deb.log" 2>&1 && [[ -f "$DEB" ]]; then
  ok "make deb builds zorvane_1.00_$ARCH.deb"
else
  not_ok "make deb builds zorvane_1.00_$ARCH.deb" "$(tail -3 "$TMP/deb.log" | tr '\n' ' ')"
fi

field() { dpkg-deb -f "$DEB" "$1" 2>/dev/null; }
check "package name, version, architecture" "zorvane 1.00 $ARCH" \
  "$(field Package) $(field Version) $(field Architecture)"
check "package section" "x11" "$(field Section)"
depends=$(field Depends)
missing=""
# dpkg-shlibdeps finds these from the program's own libraries.
for lib in libc6 libstdc++6 libx11-6 libxext6 libxft2 libxrandr2 libxfixes3 libfontconfig1; do
  [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || missing+=" $lib"
done
check "Depends lists the shared libraries" "" "$missing"
[[ "$depends" == *"fonts-dejavu-core"* ]] && ok "Depends asks for a font" ||
  not_ok "Depends asks for a font" "Depends: $depends"
[[ -n "$(field Maintainer)" && -n "$(field Description)" ]] && ok "package has a maintainer and description" ||
  not_ok "package has a maintainer and description" "$(dpkg-deb -I "$DEB" 2>&1 | tr '\n' ' ')"
# This build sets no web address or contact: no invented ones in the metadata.
check "no Homepage, no placeholder address in the package's control data" "|" \
  "$(field Homepage)|$(dpkg-deb -f "$DEB" | grep -i 'example\.')"

got=$(dpkg-deb -c "$DEB" 2>/dev/null | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | LC_ALL=C sort)
check "package holds exactly the expected files under /usr" "$(expected_files /usr deb)" "$got"
got=$(dpkg-deb -c "$DEB" 2>/dev/null | awk '{print $2}' | sort -u | tr '\n' ' ')
check "package files are owned by root" "root/root " "$got"
mkdir -p "$TMP/deb"
dpkg-deb -x "$DEB" "$TMP/deb" 2>/dev/null
check_installed_data package "$TMP/deb/usr" zorvane.1.gz
check "package's copyright file is the licence" "" "$(cmp "$ROOT/LICENSE" "$TMP/deb/usr/share/doc/zorvane/copyright" 2>&1)"
got=$(file -b "$TMP/deb/usr/bin/zorvane" | grep -o 'not stripped\|stripped' | head -1)
check "packaged program is stripped" "stripped" "$got"

# ---------------------------------------------------------------- apt-get install / remove
echo "# apt-get install ./zorvane_1.00_$ARCH.deb"
installed=$(dpkg-query -W -f='${Status}' zorvane 2>/dev/null)
if (($(id -u) != 0)); then
  skip "install and remove the package" "not root"
elif [[ "$installed" == *" installed" ]]; then
  skip "install and remove the package" "a zorvane package is installed here already; not replacing it"
else
  APT=(apt-get -y -q -o DPkg::Lock::Timeout=120 --no-install-recommends)
  if DEBIAN_FRONTEND=noninteractive "${APT[@]}" install "$DEB" >"$TMP/apt-install.log" 2>&1; then
    ok "apt-get installs the package"
  else
    not_ok "apt-get installs the package" "$(tail -3 "$TMP/apt-install.log" | tr '\n' ' ')"
  fi
  got=$(dpkg -L zorvane 2>/dev/null | while read -r f; do [[ -d "$f" ]] || echo "$f"; done | LC_ALL=C sort)
  check "dpkg -L zorvane lists the package's files" "$(expected_files /usr deb)" "$got"
  check_version "/usr/bin/zorvane prints its version" /usr/bin/zorvane
  check "installed files match the package's checksums (dpkg --verify)" "" "$(dpkg --verify zorvane 2>&1)"
  if DEBIAN_FRONTEND=noninteractive "${APT[@]}" purge zorvane >"$TMP/apt-purge.log" 2>&1; then
    ok "apt-get purges the package"
  else
    not_ok "apt-get purges the package" "$(tail -3 "$TMP/apt-purge.log" | tr '\n' ' ')"
  fi
  left=""
  while read -r f; do [[ -e "$f" ]] && left+=" $f"; done < <(expected_files /usr deb)
  [[ -d /usr/share/doc/zorvane ]] && left+=" /usr/share/doc/zorvane"
  check "nothing of the package is left after the purge" "" "$left"
  check "dpkg no longer has the package installed" "" \
    "$(dpkg-query -W -f='${Status}' zorvane 2>/dev/null | grep ' installed$')"
fi

# ---------------------------------------------------------------- make dist
echo "# make dist"
if ! git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  skip "make dist unpacks and builds" "not a git checkout (make dist packs the committed tree)"
else
  version=$(sed -n 's/.*kVersionNumber = "\(.*\)";/\1/p' "$ROOT/src/shared/main_mod.h")
  tarball=$ROOT/dist/zorvane-$version.tar.gz
  rm -f "$tarball"
  if make -s -C "$ROOT" dist >"$TMP/dist.log" 2>&1 && tar -C "$TMP" -xzf "$tarball"; then
    check "the tarball holds the committed tree" "" \
      "$(cd "$ROOT" && git ls-files | LC_ALL=C sort | diff - <(cd "$TMP/zorvane-$version" && find . -type f -printf '%P\n' | LC_ALL=C sort))"
    if [[ -x "$TMP/zorvane-$version/run.sh" && -x "$TMP/zorvane-$version/test.sh" ]] &&
      cmake -S "$TMP/zorvane-$version" -B "$TMP/dist-build" -DZORVANE_TESTS=OFF -DZORVANE_BENCH=OFF \
        >"$TMP/dist-build.log" 2>&1 &&
      cmake --build "$TMP/dist-build" --target zorvane -j2 >>"$TMP/dist-build.log" 2>&1; then
      check_version "make dist unpacks and builds" "$TMP/dist-build/zorvane"
    else
      not_ok "make dist unpacks and builds" "$(tail -3 "$TMP/dist-build.log" | tr '\n' ' ')"
    fi
  else
    not_ok "make dist unpacks and builds" "$(tail -3 "$TMP/dist.log" | tr '\n' ' ')"
  fi
fi

echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
((FAILED == 0))
