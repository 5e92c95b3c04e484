#!/usr/bin/env bash
# Renders one session three ways in one run, the frames as PNG files and as
# .mp4 and .webm videos, and prints each one's time and size.
#
#   scripts/measure-video.sh [SESSION]   # default examples/vortex-around-a-wall.session
set -euo pipefail
cd "$(dirname "$0")/.."
session=${1:-examples/vortex-around-a-wall.session}
cmake --build build --target fluid -j2 >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
measure() {  # label, output to size, then the options
  local label=$1 target=$2 start end
  shift 2
  start=$(date +%s%N)
  build/fluid --headless --replay "$session" "$@" >/dev/null
  end=$(date +%s%N)
  printf '%-12s %6d ms  %9s bytes\n' "$label" $(((end - start) / 1000000)) "$(du -sb "$target" | cut -f1)"
}
echo "$session: $(grep -c '' "$session") lines"
measure "PNG frames" "$out/frames" --frames "$out/frames"
measure ".mp4" "$out/v.mp4" --video "$out/v.mp4"
measure ".webm" "$out/v.webm" --video "$out/v.webm"
echo "frames: $(ls "$out/frames" | wc -l)"
