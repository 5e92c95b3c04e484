// GpuBackend.h - the CUDA backend of the runtime layer, when there is one.
//
// gpuBackend() returns the backend that runs buffers, copies and launches on
// the current CUDA device, or nullptr when this build has no CUDA backend or
// the machine has no CUDA device. chooseBackend (DeviceRuntime.h) asks it;
// tests of the CUDA backend install it themselves. It comes from
// CudaBackend.cu, or from NoGpuBackend.cpp in builds without CUDA.
#pragma once

#include <functional>
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

// Makes every launch on the CUDA backend wait for its kernel and report a
// failure while it ran at once, on standard error, naming the kernel (also
// on with FLUID_CUDA_CHECK=1 in the environment). For diagnosis: it takes
// away the overlap of the host's work with the device's. Returns the
// setting it replaces.
bool gpuCheckEveryLaunch(bool on);

// The device's time, in ms, for what work() starts on the default queue,
// from CUDA events recorded before and after it (copies that work() makes
// count too, so time launches alone). False without a device or on a failure.
bool gpuDeviceMs(const std::function<void()>& work, double* ms);
