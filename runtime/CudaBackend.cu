// CudaBackend.cu - the runtime layer's backend on the CUDA runtime.
//
// Every operation maps onto the current CUDA device: a buffer is an
// allocation named by a small handle (its table slot + 1, 0 meaning none),
// zeroed like the host backend's; copies are cudaMemcpy with the sizes
// checked against the buffer first; a launch runs the registered kernel's
// device run, which decodes the arguments and starts it.
// CUDA's own status codes are passed back as they are (all nonzero on
// failure); the checks made here return the runtime layer's codes.
//
// Memory: a step allocates, fills, reads back and frees seven buffers. The
// buffers come from CUDA's stream-ordered allocator (cudaMallocAsync and
// cudaFreeAsync on the default queue) out of the device's memory pool, which
// keeps what is freed for the next step, so neither call waits for the
// device; where a device has no memory pools, cudaMalloc and cudaFree serve.
// Host ranges that the caller copies every step are page-locked on request
// (keepResident), so that their copies need no staging.
//
// Launch failures: the caller skips a kernel that fails to start without a
// word, as it must; so that this never goes unseen, the backend says on
// standard error which kernel failed and why, once for each kernel and cause
// (LaunchFailureReport.h). A kernel that fails while it runs surfaces only at
// the next call that waits for the device; with checking on (FLUID_CUDA_CHECK=1
// or gpuCheckEveryLaunch), every launch waits for its kernel and reports its
// failure at once.
//
// The runtime layer is used from one thread at a time, like the rest of it.
#include <cuda_runtime.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CudaBackend.h"
#include "GpuBackend.h"
#include "LaunchFailureReport.h"

namespace fluidgpu {

namespace {

struct DeviceBuffer {
    void* address = nullptr;
    std::size_t bytes = 0;
    bool live = false;
    bool pooled = false;  // from cudaMallocAsync, to go back with cudaFreeAsync
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

// Whether the current device allocates from its memory pool; the first time
// for a device, the pool is told to keep freed memory for later allocations
// instead of handing it back at the next synchronisation.
bool devicePoolReady() {
    constexpr int maxDevices = 64;
    static signed char ready[maxDevices] = {};  // 0 not asked yet, 1 pool, -1 none
    int device = 0;
    if (::cudaGetDevice(&device) != ::cudaSuccess || device < 0 || device >= maxDevices) {
        ::cudaGetLastError();
        return false;
    }
    if (ready[device] == 0) {
        int supported = 0;
        ::cudaMemPool_t pool{};
        std::uint64_t keepAll = UINT64_MAX;
        const bool ok = ::cudaDeviceGetAttribute(&supported, ::cudaDevAttrMemoryPoolsSupported, device) ==
                            ::cudaSuccess &&
                        supported && ::cudaDeviceGetDefaultMemPool(&pool, device) == ::cudaSuccess &&
                        ::cudaMemPoolSetAttribute(pool, ::cudaMemPoolAttrReleaseThreshold, &keepAll) == ::cudaSuccess;
        if (!ok) ::cudaGetLastError();
        ready[device] = ok ? 1 : -1;
    }
    return ready[device] == 1;
}

fluidrt::cudaError_t gpuAllocate(fluidrt::DevicePtr* ptr, std::size_t bytes) {
    std::size_t slot = 0;
    while (slot < buffers.size() && buffers[slot].live) ++slot;
    if (slot >= UINT32_MAX) return fluidrt::cudaErrorMemoryAllocation;  // no handle left to name it

    const std::size_t size = bytes ? bytes : 1;  // every buffer has an address of its own
    const bool pooled = devicePoolReady();
    void* address = nullptr;
    ::cudaError_t status = pooled ? ::cudaMallocAsync(&address, size, 0) : ::cudaMalloc(&address, size);
    if (status != ::cudaSuccess) return pass(status);
    // Zeroed so that a buffer never hands out another step's leftovers; in
    // queue order, before any copy or launch that uses it.
    status = ::cudaMemsetAsync(address, 0, size, 0);
    if (status != ::cudaSuccess) {
        if (pooled)
            ::cudaFreeAsync(address, 0);
        else
            ::cudaFree(address);
        return pass(status);
    }
    if (slot == buffers.size()) buffers.emplace_back();
    buffers[slot] = DeviceBuffer{address, bytes, true, pooled};
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
    const ::cudaError_t status = b->pooled ? ::cudaFreeAsync(b->address, 0) : ::cudaFree(b->address);
    if (status != ::cudaSuccess) return pass(status);  // the handle stays valid: nothing was freed
    *b = DeviceBuffer{};
    return fluidrt::cudaSuccess;
}

// Page-locks a host range once; a range that cannot be locked is left as it
// is (copies from it still work, through a staging buffer) and not tried again.
fluidrt::cudaError_t gpuKeepResident(const void* host, std::size_t bytes) {
    struct Range {
        const void* host;
        std::size_t bytes;
    };
    static std::vector<Range> tried;
    for (const Range& r : tried)
        if (r.host == host && r.bytes >= bytes) return fluidrt::cudaSuccess;
    tried.push_back(Range{host, bytes});
    return pass(::cudaHostRegister(const_cast<void*>(host), bytes, cudaHostRegisterDefault));
}

bool checkEveryLaunch = false;

const char* errorText(fluidrt::cudaError_t status) {
    return ::cudaGetErrorString(static_cast<::cudaError_t>(status));
}
const char* errorName(fluidrt::cudaError_t status) {
    return ::cudaGetErrorName(static_cast<::cudaError_t>(status));
}

fluidrt::cudaError_t gpuLaunch(const fluidrt::KernelRow& kernel, const fluidrt::LaunchShape& shape,
                               const fluidrt::ArgumentBlock& args) {
    fluidrt::cudaError_t status = kernel.deviceRun ? kernel.deviceRun(shape, args)
                                                   : fluidrt::cudaErrorInvalidDeviceFunction;
    if (status != fluidrt::cudaSuccess) {
        fluidrt::reportLaunchFailure(kernel.deviceName, "was not started", errorName(status), errorText(status));
        return status;
    }
    if (!checkEveryLaunch) return status;
    status = pass(::cudaDeviceSynchronize());
    if (status == fluidrt::cudaSuccess) status = pass(::cudaGetLastError());
    if (status != fluidrt::cudaSuccess)
        fluidrt::reportLaunchFailure(kernel.deviceName, "failed while it ran", errorName(status), errorText(status));
    return status;
}

const fluidrt::Backend cudaBackendTable = {"cuda",     gpuSetDevice, gpuAllocate,    gpuCopyToDevice, gpuCopyToHost,
                                           gpuRelease, gpuLaunch,    gpuKeepResident};

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
        if (const char* check = std::getenv("FLUID_CUDA_CHECK"))
            fluidgpu::checkEveryLaunch = std::strcmp(check, "1") == 0;
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

bool gpuCheckEveryLaunch(bool on) {
    const bool was = fluidgpu::checkEveryLaunch;
    fluidgpu::checkEveryLaunch = on;
    return was;
}

bool gpuDeviceMs(const std::function<void()>& work, double* ms) {
    ::cudaEvent_t begin{}, end{};
    bool ok = ::cudaEventCreate(&begin) == ::cudaSuccess;
    ok = ::cudaEventCreate(&end) == ::cudaSuccess && ok;
    ok = ok && ::cudaEventRecord(begin, 0) == ::cudaSuccess;
    if (ok) work();
    float elapsed = 0.0f;
    ok = ok && ::cudaEventRecord(end, 0) == ::cudaSuccess && ::cudaEventSynchronize(end) == ::cudaSuccess &&
         ::cudaEventElapsedTime(&elapsed, begin, end) == ::cudaSuccess;
    if (!ok) ::cudaGetLastError();
    ::cudaEventDestroy(begin);
    ::cudaEventDestroy(end);
    *ms = elapsed;
    return ok;
}
