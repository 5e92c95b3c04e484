# shellcheck shell=bash
# scripts/lib.sh - what several scripts do alike, sourced by them after they
# have changed to the repository's root:
#
#   cd "$(dirname "$0")/.."
#   . scripts/lib.sh
#
#   build_targets DIR [CMAKE OPTIONS...] -- TARGET...
#   start_xvfb WIDTHxHEIGHTxDEPTH [XVFB OPTIONS...]   /   stop_xvfb
#   configure_gpu_check DIR [CMAKE OPTIONS...]
#   on_exit COMMAND

# ---- on_exit ---------------------------------------------------------------
# Runs COMMAND (one string, run by eval) when the script exits, however it
# exits; the commands run in the reverse order of their registration. A
# script that sources this file registers its own clean-up here rather than
# with `trap ... EXIT`, which would replace these.
lib_exit_commands=()
lib_run_exit_commands() {
  local k
  for ((k = ${#lib_exit_commands[@]} - 1; k >= 0; k--)); do
    eval "${lib_exit_commands[k]}" || true
  done
}
on_exit() {
  lib_exit_commands+=("$1")
  trap lib_run_exit_commands EXIT
}

# ---- build_targets ---------------------------------------------------------
# Configures the build folder DIR, a Release build with the given CMake
# options, when it has not been configured yet (no DIR/CMakeCache.txt; a
# configured folder keeps its settings and CMake reruns its configure step
# itself when a CMakeLists.txt changed), then builds the targets. Quiet:
# CMake's output is shown only when the configure or the build fails.
build_targets() {
  local dir=$1 cmake_options=() log status=0
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    cmake_options+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  [ $# -gt 0 ] || { echo "build_targets: no target for $dir" >&2; return 2; }
  log=$(mktemp)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "${cmake_options[@]}" >"$log" 2>&1 || status=$?
  fi
  if [ "$status" -eq 0 ]; then
    cmake --build "$dir" --target "$@" -j"$(nproc)" >"$log" 2>&1 || status=$?
  fi
  [ "$status" -eq 0 ] || cat "$log" >&2
  rm -f "$log"
  return "$status"
}

# ---- start_xvfb / stop_xvfb ------------------------------------------------
# Starts a virtual X server with one screen of WIDTHxHEIGHTxDEPTH (and any
# further Xvfb options) on a display that is free, exports DISPLAY and sets
# xvfb_pid. The server picks the display itself and writes its number on a
# descriptor (-displayfd) once it accepts connections, so there is no
# guessed number to collide with another server and no sleep to wait out.
# The server is stopped when the script exits, or earlier by stop_xvfb. One
# server at a time.
xvfb_pid=""
lib_xvfb_exit_registered=""
start_xvfb() {
  local screen=$1 fifo_dir number=""
  shift
  if [ -n "$xvfb_pid" ]; then
    echo "start_xvfb: an Xvfb of this script's is running already (process $xvfb_pid)" >&2
    return 1
  fi
  command -v Xvfb >/dev/null || { echo "start_xvfb: Xvfb is not installed (scripts/install-deps.sh tests)" >&2; return 1; }
  # The number comes through a FIFO, read in one go: the read ends when the
  # line is there, or at once when the server ends without writing one (its
  # end of the FIFO closes), or after 30 s.
  fifo_dir=$(mktemp -d)
  mkfifo "$fifo_dir/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 "$screen" "$@" 3>"$fifo_dir/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  if [ -z "$lib_xvfb_exit_registered" ]; then
    on_exit stop_xvfb
    lib_xvfb_exit_registered=1
  fi
  read -r -t 30 number <"$fifo_dir/display" || true
  rm -rf "$fifo_dir"
  if [[ ! $number =~ ^[0-9]+$ ]]; then
    echo "start_xvfb: Xvfb (-screen 0 $screen $*) reported no display" >&2
    stop_xvfb
    return 1
  fi
  export DISPLAY=":$number"
}
stop_xvfb() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}

# ---- configure_gpu_check ---------------------------------------------------
# Configures DIR as on a bare CUDA machine, the way scripts/gpu-check.sh
# needs it: the runtime layer, the solver and gpu_check alone
# (FLUID_FRONTEND=OFF), the CUDA backend when nvcc is found
# (FLUID_CUDA=ON), and every optional package (GLUT, OpenGL,
# GoogleTest, Google Benchmark, libpng) hidden, so that a configure that
# passes here passes where only a C++ compiler, CMake and nvcc exist. The
# CMake options given come last (e.g. -DCMAKE_CUDA_ARCHITECTURES=90). A new
# folder is generated for Ninja when it is there. CMake's output goes to
# DIR/configure.log, which says whether the CUDA backend was built
# ("GPU backend: built").
configure_gpu_check() {
  local dir=$1 generator=()
  shift
  if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
  mkdir -p "$dir"
  cmake -S . -B "$dir" "${generator[@]}" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
    -DFLUID_FRONTEND=OFF -DFLUID_CUDA=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GLUT=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON "$@" >"$dir/configure.log" 2>&1
}
