#!/usr/bin/env bash
# Measures the frame rate of the program's display callback at several window
# sizes on a virtual X server (Xvfb, software GL).
#
#   scripts/measure-fps.sh [path/to/fluid] [WIDTHxHEIGHT ...]
#
# The program defaults to build/fluid (built when missing), the sizes to
# 512x512 1280x1024 1920x1080. For each size a fresh program is started, its
# window resized (xdotool windowsize) and the size's rates printed.
#
# Frames are counted without touching the program or its output: a small
# library, compiled here and loaded with LD_PRELOAD, wraps glutSwapBuffers
# (called once at the end of every display callback) and counts the calls
# in a shared 8-byte file. The rate is the count's growth over a fixed
# measuring window. Four situations, each measured after a short settling:
#   1. start-up views (obstacles and density), simulating an empty field;
#   2. the same, paused (key s): drawing alone;
#   3. all four views on (keys v and g) with density in every cell, paused;
#   4. the same, simulating.
# FPS_SECONDS sets the measuring window (default 10 s).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

program=${1:-build/fluid}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(512x512 1280x1024 1920x1080)
screen_width=640 screen_height=640
for size in "${sizes[@]}"; do
  [[ $size =~ ^([1-9][0-9]*)x([1-9][0-9]*)$ ]] || { echo "not a window size: $size (WIDTHxHEIGHT)" >&2; exit 2; }
  if ((BASH_REMATCH[1] > screen_width)); then screen_width=${BASH_REMATCH[1]}; fi
  if ((BASH_REMATCH[2] > screen_height)); then screen_height=${BASH_REMATCH[2]}; fi
done
seconds=${FPS_SECONDS:-10}
if [ ! -x "$program" ]; then
  build_targets build -- fluid
  program=build/fluid
fi
for tool in Xvfb xdotool import convert cc; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh tests installs Xvfb, xdotool and ImageMagick)" >&2; exit 1; }
done

work=$(mktemp -d)
remove_work() { rm -rf "$work"; }
on_exit remove_work
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

start_xvfb "${screen_width}x${screen_height}x24" -noreset
# At the end the program goes first, by process id, then the X server; the
# killed program's exit status is of no interest.
fluid_pid=""
stop_fluid() {
  [ -n "$fluid_pid" ] || return 0
  kill "$fluid_pid" 2>/dev/null || true
  wait "$fluid_pid" 2>/dev/null || true
}
on_exit stop_fluid

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
    'BEGIN { t = t1 - t0; printf "  %-56s %7.2f frames/s  (%d frames in %.1f s, %.1f ms each)\n", label, n / t, n, t, 1000 * t / (n ? n : 1) }'
}

# The four situations in a fresh program whose window is width x height.
measure_size() {
  local width=$1 height=$2 window
  echo "window ${width}x${height}: $program"
  SWAP_COUNTER_FILE="$work/swaps" LD_PRELOAD="$work/swapcount.so" "$program" >/dev/null &
  fluid_pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zeroduz Uruvov Aderod$' | head -n 1)
  xdotool windowmove --sync "$window" 0 0
  xdotool windowsize --sync "$window" "$width" "$height"
  xdotool mousemove --window "$window" $((width / 2)) $((height / 2))  # keyboard focus follows the pointer

  wait_frames 1
  measure "start-up views, simulating an empty field"
  xdotool key s
  measure "start-up views, paused"
  xdotool key s

  # Density into every cell, the same way for every program whatever its
  # frame rate: while paused, right clicks on a lattice of about 84 x 84
  # points spread over the window (a cell every 1.5 along each axis, as the
  # pointer picks cells in proportion to the window's size), then three
  # single steps (space). The share of the visible cells' pixels (one cell's
  # margin left out) that a screenshot then shows coloured is printed.
  local clicks=() x y cell=$((width / 128)) coverage
  xdotool key s
  for ((y = 8; y < 508; y += 6)); do
    for ((x = 8; x < 508; x += 6)); do
      clicks+=(mousemove $((x * width / 512)) $((y * height / 512)) click --delay 0 3)  # the window is at 0,0
    done
  done
  xdotool "${clicks[@]}" mousemove $((width / 2)) $((height / 2))
  for _ in 1 2 3; do
    xdotool key space
    wait_frames 2
  done
  # Cell j covers columns j * cell to (j + 1) * cell - 1, cell i the same
  # rows counted from the bottom.
  local left=$((2 * cell)) right=$((width < 128 * cell ? width : 128 * cell))
  local top=$((height - 128 * cell > 0 ? height - 128 * cell : 0)) bottom=$((height - 2 * cell))
  import -window "$window" -depth 8 "ppm:$work/shot.ppm"
  coverage=$(convert "$work/shot.ppm" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    -separate -evaluate-sequence max -threshold 0 -format '%[fx:mean]' info:)
  echo "  coloured cell pixels after injection and 3 steps: $(awk -v c="$coverage" 'BEGIN { printf "%.1f%%", 100 * c }')"
  xdotool key v key g
  measure "all four views, density everywhere, paused"
  xdotool key s
  measure "all four views, density everywhere, simulating"

  kill "$fluid_pid" 2>/dev/null
  wait "$fluid_pid" 2>/dev/null || true
  fluid_pid=""
}

for size in "${sizes[@]}"; do
  measure_size "${size%x*}" "${size#*x}"
done
