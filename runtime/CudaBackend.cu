// CudaBackend.cu - the runtime layer's backend on the CUDA runtime.
//
// Every operation maps onto the current CUDA device: a buffer is a cudaMalloc
// allocation named by a small handle (its table slot + 1, 0 meaning none),
// zeroed like the host backend's; copies are cudaMemcpy with the sizes
// checked against the buffer first; a launch runs the registered kernel's
// device run, which decodes the arguments and starts it.
// CUDA's own status codes are passed back as they are (all nonzero on
// failure); the checks made here return the runtime layer's codes.
//
// The runtime layer is used from one thread at a time, like the rest of it.
#include <cuda_runtime.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "CudaBackend.h"
#include "GpuBackend.h"

namespace fluidgpu {

namespace {

struct DeviceBuffer {
    void* address = nullptr;
    std::size_t bytes = 0;
    bool live = false;
};

std::vector<DeviceBuffer> buffers;  // slot k is handle k + 1

DeviceBuffer* lookup(fluidrt::DevicePtr ptr) {
    if (ptr.handle == 0 || ptr.handle > buffers.size()) return nullptr;
    DeviceBuffer* b = &buffers[ptr.handle - 1];
    return b->live ? b : nullptr;
}

// Passes a CUDA status on; a failure is also taken off the runtime's
// last-error record so that it is not reported again by a later call.
fluidrt::cudaError_t pass(::cudaError_t status) {
    if (status != ::cudaSuccess) ::cudaGetLastError();
    return static_cast<fluidrt::cudaError_t>(status);
}

fluidrt::cudaError_t gpuSetDevice(int device) { return pass(::cudaSetDevice(device)); }

fluidrt::cudaError_t gpuAllocate(fluidrt::DevicePtr* ptr, std::size_t bytes) {
    std::size_t slot = 0;
    while (slot < buffers.size() && buffers[slot].live) ++slot;
    if (slot >= UINT32_MAX) return fluidrt::cudaErrorMemoryAllocation;  // no handle left to name it

    const std::size_t size = bytes ? bytes : 1;  // every buffer has an address of its own
    void* address = nullptr;
    ::cudaError_t status = ::cudaMalloc(&address, size);
    if (status != ::cudaSuccess) return pass(status);
    // Zeroed so that a buffer never hands out another step's leftovers.
    status = ::cudaMemset(address, 0, size);
    if (status != ::cudaSuccess) {
        ::cudaFree(address);
        return pass(status);
    }
    if (slot == buffers.size()) buffers.emplace_back();
    buffers[slot] = DeviceBuffer{address, bytes, true};
    ptr->handle = static_cast<std::uint32_t>(slot + 1);
    return fluidrt::cudaSuccess;
}

fluidrt::cudaError_t gpuCopyToDevice(fluidrt::DevicePtr dst, const void* src, std::size_t bytes) {
    DeviceBuffer* b = lookup(dst);
    if (!b) return fluidrt::cudaErrorInvalidDevicePointer;
    if (bytes > b->bytes) return fluidrt::cudaErrorInvalidValue;
    if (bytes == 0) return fluidrt::cudaSuccess;
    return pass(::cudaMemcpy(b->address, src, bytes, ::cudaMemcpyHostToDevice));
}

fluidrt::cudaError_t gpuCopyToHost(void* dst, fluidrt::DevicePtr src, std::size_t bytes) {
    DeviceBuffer* b = lookup(src);
    if (!b) return fluidrt::cudaErrorInvalidDevicePointer;
    if (bytes > b->bytes) return fluidrt::cudaErrorInvalidValue;
    if (bytes == 0) return fluidrt::cudaSuccess;
    return pass(::cudaMemcpy(dst, b->address, bytes, ::cudaMemcpyDeviceToHost));
}

fluidrt::cudaError_t gpuRelease(fluidrt::DevicePtr ptr) {
    if (ptr.handle == 0) return fluidrt::cudaSuccess;  // freeing "no buffer" is allowed, as with a null pointer
    DeviceBuffer* b = lookup(ptr);
    if (!b) return fluidrt::cudaErrorInvalidDevicePointer;
    const ::cudaError_t status = ::cudaFree(b->address);
    if (status != ::cudaSuccess) return pass(status);  // the handle stays valid: nothing was freed
    *b = DeviceBuffer{};
    return fluidrt::cudaSuccess;
}

fluidrt::cudaError_t gpuLaunch(const fluidrt::KernelRow& kernel, const fluidrt::LaunchShape& shape,
                               const fluidrt::ArgumentBlock& args) {
    if (!kernel.deviceRun) return fluidrt::cudaErrorInvalidDeviceFunction;
    return kernel.deviceRun(shape, args);
}

const fluidrt::Backend cudaBackendTable = {"cuda",        gpuSetDevice, gpuAllocate, gpuCopyToDevice,
                                           gpuCopyToHost, gpuRelease,   gpuLaunch};

}  // namespace

void* deviceBufferAddress(fluidrt::DevicePtr ptr, std::size_t minBytes) {
    DeviceBuffer* b = lookup(ptr);
    return b && b->bytes >= minBytes ? b->address : nullptr;
}

}  // namespace fluidgpu

const fluidrt::Backend* gpuBackend() {
    // Asked once: the runtime either finds a device or it does not (no
    // driver, no device, or devices hidden from this process).
    static const bool devicePresent = [] {
        int count = 0;
        const ::cudaError_t status = ::cudaGetDeviceCount(&count);
        if (status != ::cudaSuccess) ::cudaGetLastError();
        return status == ::cudaSuccess && count > 0;
    }();
    return devicePresent ? &fluidgpu::cudaBackendTable : nullptr;
}

namespace {

// "13.0" from CUDA's 1000 * major + 10 * minor.
std::string cudaVersionText(int version) {
    return std::to_string(version / 1000) + "." + std::to_string(version % 1000 / 10);
}

}  // namespace

std::string gpuDescription() {
    int count = 0, device = 0, driver = 0, runtime = 0;
    ::cudaError_t status = ::cudaGetDeviceCount(&count);
    if (status != ::cudaSuccess || count == 0) {
        ::cudaGetLastError();
        return std::string("none: no CUDA device visible (") +
               (status != ::cudaSuccess ? ::cudaGetErrorString(status) : "no device") + ")";
    }
    ::cudaDeviceProp p{};
    if (::cudaGetDevice(&device) != ::cudaSuccess || ::cudaGetDeviceProperties(&p, device) != ::cudaSuccess) {
        ::cudaGetLastError();
        return "a CUDA device whose properties cannot be read";
    }
    ::cudaDriverGetVersion(&driver);
    ::cudaRuntimeGetVersion(&runtime);
    char line[512];
    std::snprintf(line, sizeof line,
                  "%s (device %d of %d), compute capability %d.%d, %d multiprocessors, %.1f GiB, "
                  "%zu bytes of shared memory per block (opt-in), CUDA driver %s, runtime %s",
                  p.name, device, count, p.major, p.minor, p.multiProcessorCount,
                  static_cast<double>(p.totalGlobalMem) / (1024.0 * 1024.0 * 1024.0), p.sharedMemPerBlockOptin,
                  cudaVersionText(driver).c_str(), cudaVersionText(runtime).c_str());
    return line;
}

fluidrt::cudaError_t gpuFinish() { return fluidgpu::pass(::cudaDeviceSynchronize()); }
