#!/usr/bin/env bash
# Takes the README's pictures of the presets and the palettes: the same
# motion (--auto 3, 600 steps) rendered headless with each preset's settings
# in the ember palette (standard, ink, thin, thick from left to right), and
# with the ink preset in each palette (bands, ember, ice), each row put
# together with ImageMagick.
#
# Usage: scripts/settings-pictures.sh   (writes docs/presets.png, docs/palettes.png)
# Needs a built build/fluid with headless rendering and ImageMagick
# (scripts/install-deps.sh tests).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v convert >/dev/null || { echo "settings-pictures.sh: needs ImageMagick's convert" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() {  # output, then the settings
  local out=$1
  shift
  build/fluid --headless --auto 3 --steps 600 "$@" --png "$work/$out.png"
}
# The presets as the page defines them (frontend/Settings.h).
run standard --palette ember
run ink --sources cleared --diff 0 --palette ember
run thin --sources cleared --diff 0.00002 --palette ember
run thick --sources cleared --diff 0.00001 --viscosity 0.002 --palette ember
for palette in bands ember ice; do run "palette-$palette" --sources cleared --diff 0 --palette "$palette"; done
row() {  # output, then the pictures from left to right, each at half size with a gap
  local out=$1
  shift
  convert "${@/#/$work/}" -resize 256x256 -bordercolor '#1b1b1b' -border 4 +append "$out"
}
row docs/presets.png standard.png ink.png thin.png thick.png
row docs/palettes.png palette-bands.png palette-ember.png palette-ice.png
echo "wrote docs/presets.png and docs/palettes.png"
