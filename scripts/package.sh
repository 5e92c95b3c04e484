#!/usr/bin/env bash
# Builds the Debian package fluid_VERSION_ARCH.deb in its own build folder
# (default build-deb; BUILD_DIR=... for another) and prints its path.
#
#   scripts/package.sh
#   sudo apt-get install ./build-deb/fluid_*.deb     # then: sudo apt-get remove fluid
#
# The folder builds the program alone (no tests, no benchmarks) and without
# the CUDA backend, so that the package depends only on Debian's libraries.
# Needs dpkg-shlibdeps (dpkg-dev), which works out the run-time dependencies,
# and ImageMagick's convert, which scales the icon.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-deb}
for tool in dpkg-shlibdeps:dpkg-dev convert:imagemagick; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "package.sh: ${tool%%:*} is missing (Debian package ${tool#*:}; scripts/install-deps.sh tests installs it)" >&2; exit 1; }
done
# Debian's hardening flags (fortified functions, stack protector, read-only
# relocations bound at start), as dpkg-buildflags gives them to every package.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFLUID_CUDA=OFF -DFLUID_BUILD_TESTS=OFF -DFLUID_BUILD_BENCH=OFF \
  -DFLUID_SANITIZE=OFF -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >"$build/configure.log" || { cat "$build/configure.log" >&2; exit 1; }
if ! grep -q "Headless rendering: built" "$build/configure.log" || grep -q "Icons: not built" "$build/configure.log"; then
  grep -E "Headless|Icons" "$build/configure.log" >&2
  echo "package.sh: the package needs headless rendering (EGL, libpng) to render its icon" >&2
  exit 1
fi

cmake --build "$build" -j"$(nproc)"
rm -f "$build"/fluid_*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$PWD/$build"/fluid_*.deb
