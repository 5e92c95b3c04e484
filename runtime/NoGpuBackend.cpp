// NoGpuBackend.cpp - gpuBackend() for builds without the CUDA backend: there
// is never a GPU backend to offer, so callers stay on the host backend.
#include "GpuBackend.h"

const fluidrt::Backend* gpuBackend() { return nullptr; }

std::string gpuDescription() { return "none: this build has no CUDA backend (no CUDA compiler, or FLUID_CUDA=OFF)"; }

fluidrt::cudaError_t gpuFinish() { return fluidrt::cudaErrorInvalidDevice; }

bool gpuCheckEveryLaunch(bool) { return false; }

bool gpuDeviceMs(const std::function<void()>&, double* ms) {
    *ms = 0.0;
    return false;
}
