#!/usr/bin/env bash
# For a machine with a CUDA GPU that has a C++ compiler, CMake and nvcc and
# nothing else: configures the runtime layer, the solver and the GPU check
# alone (FLUID_FRONTEND=OFF: no GL, GLUT, PNG, EGL, GoogleTest or Google
# Benchmark), builds gpu_check for this machine's GPU only and runs it.
# gpu_check prints the device, compares every kernel and whole steps on the
# GPU with the host reference bit for bit, says how each kernel ran, and
# times the step on the host and on the GPU and each kernel on the GPU.
#
#   scripts/gpu-check.sh [--quick] [--check-every-launch] [--scenario-steps K]
#                        [--arch ARCH] [extra CMake arguments]
#
# --quick, --check-every-launch and --scenario-steps go to gpu_check (see
# tests/gpu/GpuCheck.cpp; --quick fits a short lease: under a minute of device
# time). The code is built for ARCH (e.g. 90, or "80;90"); without --arch,
# for the compute capabilities nvidia-smi reports, or for 90 when it reports
# none; -DCMAKE_CUDA_ARCHITECTURES=... among the CMake arguments wins.
#
# The build directory is build-gpu-check unless FLUID_GPU_BUILD_DIR names
# another. Exit status: gpu_check's (0 when every comparison holds, 1 when
# one does not, 2 for a bad option, 3 when no CUDA device is visible), or 1
# when the CUDA backend could not be built.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
build=${FLUID_GPU_BUILD_DIR:-build-gpu-check}

check_options=() cmake_options=() arch=""
while [ $# -gt 0 ]; do
    case "$1" in
        --quick | --check-every-launch) check_options+=("$1") ;;
        --scenario-steps) check_options+=("$1" "${2:?--scenario-steps needs a number}"); shift ;;
        --arch) arch=${2:?--arch needs an architecture, e.g. 90}; shift ;;
        -D*) cmake_options+=("$1") ;;
        *) echo "gpu-check: unknown option '$1'" >&2; exit 2 ;;
    esac
    shift
done

echo "== GPU"
if command -v nvidia-smi >/dev/null; then
    nvidia-smi --query-gpu=name,driver_version,compute_cap,memory.total --format=csv,noheader || true
else
    echo "nvidia-smi not found"
fi
if [ -z "$arch" ] && command -v nvidia-smi >/dev/null; then
    # "9.0" -> 90, one entry for each kind of GPU present.
    arch=$(nvidia-smi --query-gpu=compute_cap --format=csv,noheader 2>/dev/null | tr -d ' .' |
           grep -E '^[0-9]+$' | sort -u | paste -sd';' || true)
fi
arch=${arch:-90}
echo "building for architecture(s) $arch"

echo "== configure ($build)"
start=$(date +%s)
status=0
configure_gpu_check "$build" "-DCMAKE_CUDA_ARCHITECTURES=$arch" "${cmake_options[@]}" || status=$?
cat "$build/configure.log"
[ "$status" -eq 0 ] || exit "$status"
if ! grep -q "GPU backend: built" "$build/configure.log"; then
    echo "gpu-check: the CUDA backend was not built (see the configure output above)" >&2
    exit 1
fi

echo "== build"
cmake --build "$build" -j"$(nproc)" --target gpu_check
echo "configured and built in $(( $(date +%s) - start )) s"

echo "== gpu_check ${check_options[*]}"
status=0
"$build/tests/gpu/gpu_check" "${check_options[@]}" || status=$?
exit "$status"
