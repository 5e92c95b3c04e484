// HostBackend.cpp - the default backend: the "device" is this process.
// A buffer is a zeroed host allocation named by a small handle (its slot + 1),
// copies are memcpy with the sizes checked against the buffer, and a launch
// runs the registered kernel's host run on the handed-over arguments. There
// is no code image to load: registering the image and the kernels only
// records the kernels' rows (DeviceRuntime.cpp), and device selection
// accepts device 0 alone.
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

// Memory blocks of released buffers (up to a few, none large), kept for the
// next allocation of the same size: a solver step allocates and releases the
// same seven field buffers every time, and memory handed back to the system
// would have to be faulted in afresh by the next step. Blocks are aligned to
// a cache line so that vector loads and stores of a field straddle lines only
// as their offsets demand.
struct SpareBlock {
    unsigned char* memory;
    std::size_t size;
};
constexpr int maxSpareBlocks = 16;
constexpr std::size_t maxSpareBytes = std::size_t{1} << 20;
SpareBlock spareBlocks[maxSpareBlocks];
int spareBlockCount = 0;

// A zeroed block of size bytes, or nullptr.
unsigned char* obtainBlock(std::size_t size) {
    void* memory = nullptr;
    for (int k = spareBlockCount - 1; k >= 0; --k) {
        if (spareBlocks[k].size != size) continue;
        memory = spareBlocks[k].memory;
        spareBlocks[k] = spareBlocks[--spareBlockCount];
        break;
    }
    if (!memory && posix_memalign(&memory, 64, size) != 0) return nullptr;
    return static_cast<unsigned char*>(std::memset(memory, 0, size));
}

void keepBlock(unsigned char* memory, std::size_t size) {
    if (spareBlockCount < maxSpareBlocks && size <= maxSpareBytes)
        spareBlocks[spareBlockCount++] = SpareBlock{memory, size};
    else
        std::free(memory);
}

cudaError_t hostSetDevice(int device) { return device == 0 ? cudaSuccess : cudaErrorInvalidDevice; }

cudaError_t hostAllocate(DevicePtr* ptr, std::size_t bytes) {
    for (int k = 0; k < maxBuffers; ++k) {
        if (buffers[k].memory) continue;
        // Zeroed so that a buffer never hands out another step's leftovers.
        unsigned char* memory = obtainBlock(bytes ? bytes : 1);
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
    keepBlock(b->memory, b->bytes ? b->bytes : 1);
    *b = HostBuffer{};
    return cudaSuccess;
}

cudaError_t hostLaunch(const KernelRow& kernel, const LaunchShape& shape, const ArgumentBlock& args) {
    if (!kernel.hostRun) return cudaErrorInvalidDeviceFunction;
    return kernel.hostRun(shape, args);
}

// Host memory is resident already: nothing to keep.
const Backend hostBackendTable = {"host",      hostSetDevice, hostAllocate, hostCopyToDevice, hostCopyToHost,
                                  hostRelease, hostLaunch,    nullptr};

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
