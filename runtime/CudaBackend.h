// CudaBackend.h - what the CUDA backend offers the kernels' device runs.
//
// The backend (CudaBackend.cu) owns the buffers: a handle names a slot of its
// table, which holds the device address and size of the allocation. A launch
// calls the registered kernel's device run (DeviceRuntime.h), which decodes
// the handed-over arguments, resolves handles to device addresses through
// deviceBufferAddress and starts the kernel on the current device.
//
// Its declarations use no CUDA types, so the status values are the runtime
// layer's (0 = success).
#pragma once

#include <cstddef>

#include "DeviceRuntime.h"

namespace fluidgpu {

// The device address behind a handle, or nullptr when the handle names no
// live buffer of at least minBytes.
void* deviceBufferAddress(fluidrt::DevicePtr ptr, std::size_t minBytes);

}  // namespace fluidgpu
