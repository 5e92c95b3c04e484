#!/usr/bin/env bash
# Installs the Debian packages that are missing for one purpose, with apt-get
# (as root, or through sudo), and nothing when all are there: one dpkg query,
# no apt-get call.
#
#   scripts/install-deps.sh program   # build and run the program (scripts/run.sh)
#   scripts/install-deps.sh tests     # the above, and everything scripts/test.sh needs
#
# Each package is named once, in the list of the first purpose that needs it.
# A name:command entry counts as present when the command is on the PATH,
# for tools that may come from outside Debian (node from another archive
# brings its own npm, which Debian's npm package would conflict with).
set -euo pipefail
cd "$(dirname "$0")/.."

# The compiler, CMake, GLUT, the GL, EGL and libpng development files,
# Mesa's drivers (GLX for the window, EGL for headless rendering), FFmpeg's
# libraries for videos (found through pkg-config) and zlib for share links.
program_packages=(
  g++ make cmake pkg-config libglut-dev libgl-dev libegl-dev libpng-dev
  libgl1-mesa-dri libglx-mesa0 libegl-mesa0
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev zlib1g-dev
)
# GoogleTest and Google Benchmark; an X server, xdotool, ImageMagick and
# xwininfo for the window tests; ffmpeg's ffprobe and ffmpeg to read the
# videos back; clang with its libFuzzer and sanitizer
# runtimes for the fuzzers; Emscripten, node, chromium and firefox-esr for the browser
# build and its tests (python3 serves the page; puppeteer-core comes from npm);
# dpkg-dev (dpkg-shlibdeps), lintian, desktop-file-utils, groff-base (groff),
# man-db and file to build and check the Debian package; ffmpeg (ffprobe) to
# decode the videos.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick x11-utils ffmpeg
  clang libclang-rt-14-dev
  emscripten nodejs:node npm:npm chromium firefox-esr python3 ca-certificates
  dpkg-dev lintian desktop-file-utils groff-base man-db file ffmpeg
)

case "${1:-}" in
  program) wanted=("${program_packages[@]}") ;;
  tests) wanted=("${program_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: scripts/install-deps.sh program|tests" >&2; exit 2 ;;
esac

by_dpkg=()
need=()
for entry in "${wanted[@]}"; do
  package=${entry%%:*}
  if [ "$entry" != "$package" ]; then
    command -v "${entry#*:}" >/dev/null || need+=("$package")
  else
    by_dpkg+=("$package")
  fi
done
# dpkg-query fails for a name it has never seen, which only means missing.
status_lines=$(dpkg-query -W -f='${Status} ${Package}\n' "${by_dpkg[@]}" 2>/dev/null || true)
installed=" $(sed -n 's/^install ok installed //p' <<<"$status_lines" | tr '\n' ' ') "
for package in "${by_dpkg[@]}"; do
  [[ "$installed" == *" $package "* ]] || need+=("$package")
done

if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "install-deps.sh: these packages are missing and installing them needs root (or sudo): ${need[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "install-deps.sh: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ "$1" = tests ] && [ ! -f tests/web/node_modules/puppeteer-core/package.json ]; then
  # puppeteer-core as tests/web/package-lock.json pins it; it drives Debian's
  # chromium and downloads no browser.
  PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix tests/web --no-audit --no-fund >/dev/null
fi
