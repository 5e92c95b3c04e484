// GpuBackend.h - the CUDA backend of the runtime layer, when there is one.
//
// gpuBackend() returns the backend that runs buffers, copies and launches on
// the current CUDA device, or nullptr when this build has no CUDA backend or
// the machine has no CUDA device. chooseBackend (DeviceRuntime.h) asks it;
// tests of the CUDA backend install it themselves. It comes from
// CudaBackend.cu, or from NoGpuBackend.cpp in builds without CUDA.
#pragma once

#include <string>

#include "DeviceRuntime.h"

const fluidrt::Backend* gpuBackend();

// One line about the device gpuBackend() runs on: its name, compute
// capability, multiprocessors and memory, and the versions of the driver and
// of the runtime linked in; or why there is none.
std::string gpuDescription();

// Waits until the device has finished everything started on it (for timing
// launches, which return before the kernel ends). A status; nonzero without
// a device.
fluidrt::cudaError_t gpuFinish();
