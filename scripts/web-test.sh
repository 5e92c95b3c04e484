#!/usr/bin/env bash
# Tests of the browser build's solver, run by scripts/test.sh after the
# native suite (whose build, build/, they compare against):
#   1. in WebAssembly under node: whole steps with the 4-lane fast kernels
#      equal the reference kernels' bit for bit (solver_check identity);
#   2. the field digests of a fixed scenario, step by step, from the
#      WebAssembly build (fast and reference kernels) equal the native
#      reference kernels' digests;
#   3. headless chromium gives a page a WebGL 2 context (tests/web/webgl2-check.js);
#   4. the page end to end (tests/web/page-test.js): an example session, with the
#      dump turned on for its last two steps, replayed in headless chromium;
#      its dump equals the desktop's `--headless --replay` output byte for
#      byte and the cell colours of its picture equal the desktop frame's;
#   5. the same in a second engine, firefox-esr over WebDriver BiDi, after
#      the check that it gives the page WebGL 2. Under Xvfb: headless
#      Firefox finds no GL driver here and gives no WebGL 2, with a display
#      it draws on Mesa's llvmpipe (tests/web/browser.js);
#   6. the page on a phone (tests/web/touch-test.js): touch input and on-screen
#      controls while recording, in portrait and landscape; the desktop's
#      replays of that input and of the downloaded recording print the
#      page's dump byte for byte;
#   7. taps under the finger (tests/web/tap-test.js): on phone and tablet
#      screens a tap's density appears in the cell drawn under it;
#   8. the settings (tests/web/settings-test.js), in chromium and firefox-esr:
#      bad values in the URL refused as the desktop refuses them, a
#      recording started with settings in the URL and changed in the panel
#      replayed by the desktop to the same dump, and ?auto=SEED against the
#      desktop's --auto SEED;
#   9. share links (tests/web/share-test.js): a phone's run shared and opened
#      in a fresh page, and on the desktop, to the same dump; links made by
#      Python's zlib replayed as the desktop replays their sessions; a run
#      too long for a link; bad links refused with nothing replayed;
#  10. Record video (tests/web/video-test.js), in chromium and firefox-esr:
#      the downloaded video decodes (ffprobe) at the canvas's size.
# Fails, never skips, when Emscripten, node, chromium, firefox-esr, Xvfb,
# ffmpeg or puppeteer-core is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
for tool in emcc emcmake node chromium firefox-esr xvfb-run python3 convert identify ffprobe ffmpeg; do
  if ! command -v "$tool" >/dev/null; then
    echo "web-test.sh: $tool is not installed, so the browser build cannot be tested; run scripts/install-deps.sh tests" >&2
    exit 1
  fi
done
if [ ! -f tests/web/node_modules/puppeteer-core/package.json ]; then
  echo "web-test.sh: puppeteer-core is not installed in tests/web/node_modules; run scripts/install-deps.sh tests" >&2
  exit 1
fi
steps=60
native="${BUILD_DIR:-build}"
build_targets "$native" -- solver_check fluid
scripts/web.sh >/dev/null

node build-web/checks/solver_check.js identity

digests="$(mktemp -d)"
trap 'rm -rf "$digests"' EXIT
"$native/tests/solver_check" digest reference "$steps" >"$digests/native-reference"
status=0
for kernels in fast reference; do
  node build-web/checks/solver_check.js digest "$kernels" "$steps" >"$digests/wasm-$kernels"
  if cmp -s "$digests/native-reference" "$digests/wasm-$kernels"; then
    echo "web-test: WebAssembly $kernels kernels equal the native reference, bit for bit, over $steps steps"
  else
    echo "web-test: WebAssembly $kernels kernels differ from the native reference (step, then hashes of" \
      "u v u_prev v_prev dens dens_prev boundary):" >&2
    diff "$digests/native-reference" "$digests/wasm-$kernels" | head -n 8 >&2
    status=1
  fi
done
node tests/web/webgl2-check.js || status=1

# The page test's session: the example, then the dump on (c) for two steps
# and a pause (s), so that both programs stop at the same step.
example=examples/vortex-around-a-wall.session
last="$(sed -n 's/^\([0-9]*\) end$/\1/p' "$example")"
session=page-test.session
{ grep -v '^[0-9]* end$' "$example"; echo "$last key c"; echo "$((last + 2)) key s"; echo "$((last + 2)) end"; } \
  >"build-web/$session"
"$native/fluid" --headless --replay "build-web/$session" --png "$digests/desktop.png" >"$digests/desktop-dump"
node tests/web/page-test.js build-web "$session" "$digests/desktop-dump" "$digests/desktop.png" "$((last + 2))" || status=1
firefox() { FLUID_BROWSER=firefox xvfb-run -a -s "-screen 0 1280x1024x24" node "$@"; }
if firefox tests/web/webgl2-check.js; then
  firefox tests/web/page-test.js build-web "$session" "$digests/desktop-dump" "$digests/desktop.png" "$((last + 2))" || status=1
else
  echo "web-test: firefox-esr gives the page no WebGL 2, so the page cannot be tested in it" >&2
  status=1
fi
rm -f "build-web/$session"
node tests/web/touch-test.js build-web "$native/fluid" || status=1
node tests/web/tap-test.js build-web || status=1
node tests/web/settings-test.js build-web "$native/fluid" || status=1
firefox tests/web/settings-test.js build-web "$native/fluid" || status=1
node tests/web/share-test.js build-web "$native/fluid" || status=1
node tests/web/video-test.js build-web || status=1
firefox tests/web/video-test.js build-web || status=1
exit "$status"
