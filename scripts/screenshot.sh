#!/usr/bin/env bash
# Takes the README's screenshot: starts build/fluid on a virtual X server,
# draws three walls, pauses, paints density with the right button at six
# places, pushes the fluid with three drags, runs eight single steps and
# saves the window as a PNG.
#
# Usage: scripts/screenshot.sh [OUT.png]   (default docs/screenshot.png)
# Needs Xvfb, xdotool and ImageMagick (scripts/install-deps.sh tests) and a built
# build/fluid.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
out=${1:-docs/screenshot.png}
start_xvfb 1024x768x24
build/fluid >/dev/null &
program=$!
on_exit "kill $program 2>/dev/null || true"
win=""
for _ in $(seq 1 50); do
  win=$(xdotool search --name "Zeroduz Uruvov Aderod" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "screenshot: the window did not open" >&2; exit 1; }
xdotool windowmove "$win" 0 0
sleep 0.5
key() { xdotool windowfocus --sync "$win" key "$1" 2>/dev/null; }
drag() { # x1 y1 x2 y2: a left-button drag in 60 moves
  xdotool mousemove --window "$win" "$1" "$2" mousedown 1
  for s in $(seq 1 60); do
    xdotool mousemove --window "$win" $(($1 + ($3 - $1) * s / 60)) $(($2 + ($4 - $2) * s / 60))
    sleep 0.02
  done
  xdotool mouseup 1
}
key B
drag 300 140 300 360
drag 120 378 240 378
drag 380 100 480 196
key B
key s
for at in "70 430" "240 450" "440 300" "440 60" "150 200" "150 150"; do
  # shellcheck disable=SC2086
  xdotool mousemove --window "$win" $at click 3
  sleep 0.2
done
drag 110 260 200 140
drag 410 320 470 280
drag 60 450 110 410
for _ in $(seq 1 8); do
  key space
  sleep 0.1
done
sleep 1
import -window "$win" -depth 8 ppm:- | convert ppm:- "$out"
echo "screenshot: $out"
