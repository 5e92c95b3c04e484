#!/usr/bin/env bash
# Builds and runs every test: the whole suite in the release build, the
# GPU check built as on a bare CUDA machine, the Debian package (built,
# unpacked and checked), the browser build's solver
# against the release build (WebAssembly under node), the whole suite
# again built with AddressSanitizer and UndefinedBehaviorSanitizer, and
# bounded runs of the input and session file fuzzers (clang, libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
scripts/install-deps.sh tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLUID_BUILD_TESTS=ON -DFLUID_BUILD_BENCH=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure

# ---- the GPU check's build, as on a bare CUDA machine --------------------------
# Configured by the same function as scripts/gpu-check.sh's build
# (configure_gpu_check, scripts/lib.sh: the runtime layer, the solver and
# gpu_check with the front end, the tests and the benchmarks left out and
# every optional package hidden), so that scripts/gpu-check.sh keeps
# configuring where only a compiler, CMake and nvcc exist. Here gpu_check
# must report that no device is visible (status 3); where nvcc is missing,
# that the build has no CUDA backend (status 4). On a machine with a GPU it
# compares the GPU with the host and passes (0).
gpu_build=build-gpu-bare
configure_gpu_check "$gpu_build" -DCMAKE_CUDA_ARCHITECTURES=90 || { cat "$gpu_build/configure.log"; exit 1; }
grep -E "GPU backend|Front end" "$gpu_build/configure.log"
cmake --build "$gpu_build" -j"$(nproc)" --target gpu_check
if grep -q "GPU backend: built" "$gpu_build/configure.log"; then allowed="0 3"; else allowed="4"; fi
for gpu_options in "" "--quick"; do
  gpu_status=0
  "$gpu_build/tests/gpu/gpu_check" $gpu_options || gpu_status=$?
  if [[ " $allowed " != *" $gpu_status "* ]]; then
    echo "gpu_check $gpu_options exited with status $gpu_status; expected one of: $allowed" >&2
    exit 1
  fi
done

# ---- the Debian package --------------------------------------------------------
# Built in its own folder (build-deb), unpacked and checked: the program, the
# examples, the desktop entry, the icons, the manual page, lintian.
scripts/package-check.sh

# ---- the browser build -------------------------------------------------------
# Fails, rather than skips, where Emscripten or node is missing.
scripts/web-test.sh

# ---- the suite under AddressSanitizer and UndefinedBehaviorSanitizer --------
# Any invalid access, undefined behaviour or leak fails the test it happens in.
# One exception: the programs that open a real GL context (the program itself,
# run by the window tests, and the drawing tests) do without the exit-time
# leak check. Mesa's software driver leaves a few blocks allocated and is
# unloaded (dlclose) by freeglut's exit handler before that check runs, so
# LeakSanitizer reports them with no module to name, which no suppression can
# match. Our front end's leaks are still checked: the front-end tests run the
# same code against the GL recorder with the check on.
asan=build-asan
cmake -S . -B "$asan" -DFLUID_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLUID_BUILD_BENCH=OFF -DFLUID_CUDA=OFF
cmake --build "$asan" -j"$(nproc)"
options="$PWD/$asan/sanitizer-options"  # one file of extra options per program name
mkdir -p "$options"
for program in fluid drawing_tests; do
  printf 'detect_leaks=0\n' >"$options/$program"
done
ASAN_OPTIONS="detect_leaks=1:include_if_exists=$options/%b" UBSAN_OPTIONS="print_stacktrace=1" \
  ctest --test-dir "$asan" --output-on-failure

# ---- the fuzzers -----------------------------------------------------------
# The input fuzzer (60 s) and the session file fuzzer (20 s), each growing a
# fresh working corpus from its seeds in tests/fuzz/ (and, for the session
# fuzzer, the example sessions). A failing input is kept
# in build-fuzz/artifacts/; it belongs in the seeds (and in a unit test) once
# the fault is fixed.
fuzz=build-fuzz
cmake -S . -B "$fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFLUID_FUZZ=ON \
  -DFLUID_BUILD_TESTS=OFF -DFLUID_BUILD_BENCH=OFF -DFLUID_CUDA=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$fuzz" -j"$(nproc)" --target input_fuzzer session_fuzzer
run_fuzzer() {  # name, seconds, seed folders
  rm -rf "$fuzz/corpus-$1" "$fuzz/artifacts"
  mkdir -p "$fuzz/corpus-$1" "$fuzz/artifacts"
  if ! "$fuzz/tests/fuzz/$1" -max_total_time="$2" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$fuzz/artifacts/" "$fuzz/corpus-$1" "${@:3}" >"$fuzz/$1.log" 2>&1; then
    tail -n 80 "$fuzz/$1.log"
    echo "$1: failing input kept in $fuzz/artifacts/:" && ls "$fuzz/artifacts"
    exit 1
  fi
  grep -E '^(Done|stat::)' "$fuzz/$1.log"
}
run_fuzzer input_fuzzer 60 tests/fuzz/corpus
run_fuzzer session_fuzzer 20 tests/fuzz/session-corpus examples
