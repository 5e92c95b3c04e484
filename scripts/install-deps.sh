#!/usr/bin/env bash
# Installs the Debian packages the tests need and the image may lack:
# an X server for the window tests, xdotool for input, ImageMagick for
# screenshots, clang and its libFuzzer and sanitizer runtimes for the input
# fuzzer, EGL and libpng for headless rendering. Does nothing when all are
# present.
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
[ ${#need[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
