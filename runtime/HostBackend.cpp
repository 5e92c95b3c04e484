// HostBackend.cpp - the default backend: the "device" is this process.
// A buffer is a zeroed host allocation named by a small handle (its slot + 1),
// copies are memcpy with the sizes checked against the buffer, and a launch
// runs the registered kernel's host realisation on the handed-over arguments.
#include <cstdlib>
#include <cstring>

#include "DeviceRuntime.h"

namespace fluidrt {

namespace {

struct HostBuffer {
    unsigned char* memory = nullptr;
    std::size_t bytes = 0;
};

constexpr int maxBuffers = 64;
HostBuffer buffers[maxBuffers];

HostBuffer* lookup(DevicePtr ptr) {
    if (ptr.handle == 0 || ptr.handle > maxBuffers) return nullptr;
    HostBuffer* b = &buffers[ptr.handle - 1];
    return b->memory ? b : nullptr;
}

cudaError_t hostSetDevice(int device) { return device == 0 ? cudaSuccess : cudaErrorInvalidDevice; }

cudaError_t hostAllocate(DevicePtr* ptr, std::size_t bytes) {
    for (int k = 0; k < maxBuffers; ++k) {
        if (buffers[k].memory) continue;
        // calloc so that a buffer never hands out another step's leftovers
        auto* memory = static_cast<unsigned char*>(std::calloc(bytes ? bytes : 1, 1));
        if (!memory) return cudaErrorMemoryAllocation;
        buffers[k] = HostBuffer{memory, bytes};
        ptr->handle = static_cast<std::uint32_t>(k + 1);
        return cudaSuccess;
    }
    return cudaErrorMemoryAllocation;
}

cudaError_t hostCopyToDevice(DevicePtr dst, const void* src, std::size_t bytes) {
    HostBuffer* b = lookup(dst);
    if (!b) return cudaErrorInvalidDevicePointer;
    if (bytes > b->bytes) return cudaErrorInvalidValue;
    if (bytes) std::memcpy(b->memory, src, bytes);
    return cudaSuccess;
}

cudaError_t hostCopyToHost(void* dst, DevicePtr src, std::size_t bytes) {
    HostBuffer* b = lookup(src);
    if (!b) return cudaErrorInvalidDevicePointer;
    if (bytes > b->bytes) return cudaErrorInvalidValue;
    if (bytes) std::memcpy(dst, b->memory, bytes);
    return cudaSuccess;
}

cudaError_t hostRelease(DevicePtr ptr) {
    if (ptr.handle == 0) return cudaSuccess;  // freeing "no buffer" is allowed, as with a null pointer
    HostBuffer* b = lookup(ptr);
    if (!b) return cudaErrorInvalidDevicePointer;
    std::free(b->memory);
    *b = HostBuffer{};
    return cudaSuccess;
}

cudaError_t hostLaunch(const char*, HostKernel hostRealisation, const LaunchShape& shape,
                       const ArgumentBlock& args) {
    if (!hostRealisation) return cudaErrorInvalidDeviceFunction;
    return hostRealisation(shape, args);
}

const Backend hostBackendTable = {"host",          hostSetDevice,  hostAllocate, hostCopyToDevice,
                                  hostCopyToHost, hostRelease,    hostLaunch};

}  // namespace

const Backend& hostBackend() { return hostBackendTable; }

void* hostBufferAddress(DevicePtr ptr, std::size_t minBytes) {
    HostBuffer* b = lookup(ptr);
    return b && b->bytes >= minBytes ? b->memory : nullptr;
}

int liveBufferCount() {
    int live = 0;
    for (const HostBuffer& b : buffers) live += b.memory != nullptr;
    return live;
}

}  // namespace fluidrt
