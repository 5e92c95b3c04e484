// CudaBackend.h - what the CUDA backend and the device kernels share.
//
// The backend (CudaBackend.cu) owns the buffers: a handle names a slot of its
// table, which holds the device address and size of the allocation. A launch
// is forwarded by device name to the matching entry of deviceKernels, which
// decodes the handed-over arguments, resolves handles to device addresses
// through deviceBufferAddress and starts the kernel on the current device.
//
// Only sources compiled by nvcc include this header; its declarations use no
// CUDA types, so the status values are the runtime layer's (0 = success).
#pragma once

#include <cstddef>

#include "DeviceRuntime.h"

namespace fluidgpu {

// Decodes a launch's arguments and starts the device kernel; returns nonzero
// when the arguments are unusable or the CUDA runtime refuses the launch.
using DeviceLaunch = fluidrt::cudaError_t (*)(const fluidrt::LaunchShape& shape,
                                              const fluidrt::ArgumentBlock& args);

struct DeviceKernel {
    const char* deviceName;  // as registered with registerFunction
    DeviceLaunch launch;
};

// The device kernels the backend can start, defined with the kernels
// themselves (solver/DeviceKernels.cu).
extern const DeviceKernel deviceKernels[];
extern const int deviceKernelCount;

// The device address behind a handle, or nullptr when the handle names no
// live buffer of at least minBytes.
void* deviceBufferAddress(fluidrt::DevicePtr ptr, std::size_t minBytes);

}  // namespace fluidgpu
