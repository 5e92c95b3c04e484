#!/usr/bin/env bash
# Measures the frame rate of the program's display callback in a 512 x 512
# window on a virtual X server (Xvfb, software GL).
#
#   scripts/measure-fps.sh [path/to/fluid]    (default: build/fluid, built when missing)
#
# Frames are counted without touching the program or its output: a small
# library, compiled here and loaded with LD_PRELOAD, wraps glutSwapBuffers
# (called once at the end of every display callback) and counts the calls
# in a shared 8-byte file. The rate is the count's growth over a fixed
# measuring window. Four situations, each measured after a short settling:
#   1. start-up views (obstacles and density), simulating an empty field;
#   2. the same, paused (key s): drawing alone;
#   3. all four views on (keys v and g) with density in every cell, simulating;
#   4. the same, paused.
# FPS_SECONDS sets the measuring window (default 10 s).
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-build/fluid}
seconds=${FPS_SECONDS:-10}
if [ ! -x "$program" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"$(nproc)" --target fluid >/dev/null
  program=build/fluid
fi
for tool in Xvfb xdotool import convert cc; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs Xvfb, xdotool and ImageMagick)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
fluid_pid=""
# Ends what this script started, by process id; the killed processes' exit
# statuses are of no interest.
cleanup() {
  set +e
  for pid in $fluid_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

# The frame counter.
cat >"$work/swapcount.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

static void (*realSwap)(void);
static uint64_t* counter;

void glutSwapBuffers(void) {
    if (!realSwap) {
        realSwap = (void (*)(void))dlsym(RTLD_NEXT, "glutSwapBuffers");
        const char* path = getenv("SWAP_COUNTER_FILE");
        int fd = path ? open(path, O_RDWR) : -1;
        if (fd >= 0) {
            void* p = mmap(NULL, sizeof *counter, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) counter = p;
            close(fd);
        }
    }
    realSwap();
    if (counter) __atomic_add_fetch(counter, 1, __ATOMIC_RELAXED);
}
EOF
cc -shared -fPIC -O2 -o "$work/swapcount.so" "$work/swapcount.c" -ldl
head -c 8 /dev/zero >"$work/swaps"
swaps() { od -An -tu8 -N8 "$work/swaps" | tr -d ' '; }

# A free display, as Xvfb reports it on a FIFO; it stays open here until the
# whole line has arrived.
mkfifo "$work/display"
exec {displayfd}<>"$work/display"
Xvfb -displayfd "$displayfd" -noreset -nolisten tcp -screen 0 640x640x24 >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 -u "$displayfd" display_number
exec {displayfd}>&-
export DISPLAY=":$display_number"

SWAP_COUNTER_FILE="$work/swaps" LD_PRELOAD="$work/swapcount.so" "$program" >/dev/null &
fluid_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zeroduz Uruvov Aderod$' | head -n 1)
xdotool windowmove --sync "$window" 0 0
xdotool mousemove --window "$window" 256 256  # keyboard focus follows the pointer

# Waits until at least n more frames have been drawn (60 s at most).
wait_frames() {
  local target=$(($(swaps) + $1)) deadline=$((SECONDS + 60))
  while [ "$(swaps)" -lt "$target" ]; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "the program stopped drawing" >&2; exit 1; }
    sleep 0.05
  done
}

measure() {
  wait_frames 3
  local c0 t0 c1 t1
  c0=$(swaps); t0=$(date +%s.%N)
  sleep "$seconds"
  c1=$(swaps); t1=$(date +%s.%N)
  awk -v label="$1" -v n=$((c1 - c0)) -v t0="$t0" -v t1="$t1" \
    'BEGIN { t = t1 - t0; printf "%-58s %7.2f frames/s  (%d frames in %.1f s, %.1f ms each)\n", label, n / t, n, t, 1000 * t / (n ? n : 1) }'
}

wait_frames 1
measure "start-up views, simulating an empty field"
xdotool key s
measure "start-up views, paused"
xdotool key s

# Density into every cell: right clicks on a lattice of cells every 6 pixels,
# then steps until a screenshot shows every interior pixel coloured (60 s at
# most; the share reached is printed).
clicks=()
for ((y = 8; y < 508; y += 6)); do
  for ((x = 8; x < 508; x += 6)); do clicks+=(mousemove "$x" "$y" click --delay 0 3); done  # the window is at 0,0
done
xdotool "${clicks[@]}"
coverage=0
deadline=$((SECONDS + 60))
while [ "$SECONDS" -lt "$deadline" ]; do
  import -window "$window" -depth 8 "ppm:$work/shot.ppm"
  # Fraction of interior pixels with any colour channel above zero.
  coverage=$(convert "$work/shot.ppm" -crop 504x504+4+4 +repage -separate -evaluate-sequence max \
    -threshold 0 -format '%[fx:mean]' info:)
  [ "$coverage" = 1 ] && break
  wait_frames 5
done
echo "coloured interior pixels after injection: $(awk -v c="$coverage" 'BEGIN { printf "%.1f%%", 100 * c }')"
xdotool mousemove --window "$window" 256 256 key v key g
measure "all four views, density everywhere, simulating"
xdotool key s
measure "all four views, density everywhere, paused"
