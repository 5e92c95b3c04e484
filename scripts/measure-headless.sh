#!/usr/bin/env bash
# Times a headless replay: an example session replayed and continued to
# 1,000 steps at 512 x 512, every frame drawn (no PNG written), best of three
# runs; then the window's frame rate from scripts/measure-fps.sh in the same
# run, for comparison.
#
#   scripts/measure-headless.sh [path/to/fluid]   (default: build/fluid, built when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
program=${1:-build/fluid}
if [ ! -x "$program" ]; then
  build_targets build -- fluid
  program=build/fluid
fi
session=examples/vortex-around-a-wall.session
replayed=$(awk '$2 == "end" { print $1 }' "$session")
steps=1000
best=""
for _ in 1 2 3; do
  start=$(date +%s.%N)
  env -u DISPLAY "$program" --headless --replay "$session" --steps $((steps - replayed)) >/dev/null
  end=$(date +%s.%N)
  best=$(awk -v t="$(echo "$end - $start" | bc)" -v b="$best" 'BEGIN { print (b == "" || t < b) ? t : b }')
done
awk -v t="$best" -v n="$steps" 'BEGIN { printf "headless replay, %d steps drawn at 512 x 512: %.2f s, %.1f frames/s (best of 3)\n", n, t, n / t }'
FPS_SECONDS=${FPS_SECONDS:-5} scripts/measure-fps.sh "$program" 512x512
