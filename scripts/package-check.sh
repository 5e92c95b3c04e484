#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it without
# installing it: unpacked into a temporary root, its program prints the
# package's version and replays an installed example headless; every file
# the package promises is there (icons at their sizes); the desktop entry
# validates and names the window's title, the program and the icon; the
# manual page renders without warnings and names every option of the usage
# text; lintian reports no error.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev lintian:lintian desktop-file-validate:desktop-file-utils \
  groff:groff-base man:man-db file:file convert:imagemagick; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "package-check.sh: ${tool%%:*} is missing (Debian package ${tool#*:}; scripts/install-deps.sh tests installs it)" >&2; exit 1; }
done

deb=$(scripts/package.sh | tail -n 1)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg-deb -x "$deb" "$root"
fail() { echo "package-check.sh: $*" >&2; exit 1; }

echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
echo "   Depends: $(dpkg-deb -f "$deb" Depends)"
for f in bin/fluid share/fluid/examples/vortex-around-a-wall.session share/fluid/examples/source-and-obstacles.session \
  share/applications/fluid.desktop share/man/man1/fluid.1.gz share/doc/fluid/copyright share/doc/fluid/changelog.gz; do
  [ -f "$root/usr/$f" ] || fail "the package lacks /usr/$f"
done
for size in 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/fluid.png
  [ -f "$icon" ] || fail "the package lacks the ${size}x${size} icon"
  file "$icon" | grep -q "PNG image data, $size x $size," || fail "$(file "$icon"): not $size x $size"
done

# The program: only system libraries (no run path into a build folder), the
# package's version, and a headless replay of an installed example.
program=$root/usr/bin/fluid
file -b "$program" | grep -q "^ELF.*, stripped" || fail "the program is not a stripped ELF file: $(file -b "$program")"
! readelf -d "$program" | grep -qE "RPATH|RUNPATH" || fail "the program has a run path: $(readelf -d "$program" | grep -E 'RPATH|RUNPATH')"
version=$("$program" --version)
[ "$version" = "fluid $(dpkg-deb -f "$deb" Version)" ] || fail "fluid --version says '$version'; the package is $(dpkg-deb -f "$deb" Version)"
echo "   $version"
"$program" --headless --replay "$root/usr/share/fluid/examples/vortex-around-a-wall.session" --steps 10 --png "$tmp/vortex.png" ||
  fail "the headless replay of the installed example failed"
file "$tmp/vortex.png" | grep -q "PNG image data, 512 x 512," || fail "the replay wrote $(file "$tmp/vortex.png")"
echo "   headless replay of the installed example: $(file -b "$tmp/vortex.png")"

# The desktop entry: valid, named after the window, starting the installed
# program and showing the installed icon.
entry=$root/usr/share/applications/fluid.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
title=$(sed -n 's/.*windowTitle = "\([^"]*\)".*/\1/p' frontend/Window.h)
grep -qx "Name=$title" "$entry" || fail "the desktop entry's Name is not the window's title '$title'"
for line in Exec=fluid Icon=fluid Terminal=false Type=Application; do
  grep -qx "$line" "$entry" || fail "the desktop entry lacks $line"
done
echo "   desktop entry valid"

# The manual page: no warnings from groff or man, and every option the usage
# text names (fluid --help) is described.
zcat "$root/usr/share/man/man1/fluid.1.gz" >"$tmp/fluid.1"
cmp -s "$tmp/fluid.1" docs/fluid.1 || fail "the installed manual page is not docs/fluid.1"
groff -ww -man -Tutf8 "$tmp/fluid.1" 2>"$tmp/groff.err" >/dev/null
LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$tmp/fluid.1" 2>>"$tmp/groff.err" >/dev/null
[ ! -s "$tmp/groff.err" ] || { cat "$tmp/groff.err" >&2; fail "the manual page renders with warnings"; }
options=$("$program" --help | grep -oE -- '--[a-z]+' | sort -u)
[ -n "$options" ] || fail "fluid --help names no option"
for option in $options; do
  grep -qF -- "${option//-/\\-}" "$tmp/fluid.1" || fail "the manual page does not describe $option (fluid --help names it)"
done
echo "   manual page renders without warnings and names all $(wc -w <<<"$options") options"

# lintian: errors fail; the warnings and notes it prints are listed in the README.
status=0
lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || status=$?
sed 's/^/   lintian: /' "$tmp/lintian.log"
[ "$status" -eq 0 ] || fail "lintian reports errors (status $status)"
echo "package-check: passed"
