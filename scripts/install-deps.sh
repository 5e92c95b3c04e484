#!/usr/bin/env bash
# Installs the Debian packages the tests need and the image may lack:
# an X server for the window tests, xdotool for input, ImageMagick for
# screenshots, clang and its libFuzzer and sanitizer runtimes for the input
# fuzzer; EGL and libpng for headless rendering; Emscripten, node, chromium and firefox-esr for the browser build and its tests,
# and puppeteer-core (npm, into web/node_modules, as web/package-lock.json
# pins it; it drives Debian's chromium and downloads no browser). Does
# nothing when all are present.
set -euo pipefail
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v clang++ >/dev/null || need+=(clang)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for package in libclang-rt-14-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libpng-dev; do
  installed "$package" || need+=("$package")
done
command -v emcc >/dev/null || need+=(emscripten)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
command -v chromium >/dev/null || need+=(chromium)
command -v firefox-esr >/dev/null || need+=(firefox-esr)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ ! -f "$(dirname "$0")/../web/node_modules/puppeteer-core/package.json" ]; then
  PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$(dirname "$0")/../web" --no-audit --no-fund >/dev/null
fi
