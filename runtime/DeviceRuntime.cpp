// DeviceRuntime.cpp - the front of the runtime layer: registration, the launch
// protocol (configure, hand over, launch), operation counting and fault
// injection. Memory and launches are forwarded to the active backend.
#include "DeviceRuntime.h"

#include <cstring>

namespace fluidrt {

namespace {

struct RegisteredKernel {
    const void* hostFunction;
    KernelRow row;
};

constexpr int maxKernels = 32;
RegisteredKernel kernels[maxKernels];  // in registration order
int kernelCount = 0;
int imageToken = 0;  // what a registered image handle points at
void* imageSlot = &imageToken;

const Backend* activeBackend = nullptr;

// Pending launch: set by a successful configuration, consumed by the launch.
bool configured = false;
LaunchShape pendingShape;
ArgumentBlock pendingArgs;

long opCounts[static_cast<int>(Op::Count)];
long totalOps = 0;
long failAtOp[static_cast<int>(Op::Count)];  // 0 = no fault armed
long failAtTotal = 0;
OperationObserver observer = nullptr;

// Counts one operation and tells whether an armed fault hits it.
bool countAndCheckFault(Op op) {
    const int k = static_cast<int>(op);
    ++opCounts[k];
    ++totalOps;
    bool fail = false;
    if (failAtOp[k] > 0 && --failAtOp[k] == 0) fail = true;
    if (failAtTotal > 0 && --failAtTotal == 0) fail = true;
    return fail;
}

cudaError_t finish(Op op, cudaError_t status) {
    if (observer) observer(op, status);
    return status;
}

}  // namespace

const Backend& currentBackend() { return activeBackend ? *activeBackend : hostBackend(); }
void setBackend(const Backend* backend) { activeBackend = backend; }

cudaError_t cudaSetDevice(int device) {
    if (countAndCheckFault(Op::SetDevice)) return finish(Op::SetDevice, cudaErrorInjectedFault);
    return finish(Op::SetDevice, currentBackend().setDevice(device));
}

cudaError_t cudaMalloc(DevicePtr* ptr, std::size_t bytes) {
    if (countAndCheckFault(Op::Malloc)) return finish(Op::Malloc, cudaErrorInjectedFault);
    if (!ptr) return finish(Op::Malloc, cudaErrorInvalidValue);
    return finish(Op::Malloc, currentBackend().allocate(ptr, bytes));
}

cudaError_t cudaMemcpy(DevicePtr dst, const void* src, std::size_t bytes, cudaMemcpyKind kind) {
    if (countAndCheckFault(Op::Memcpy)) return finish(Op::Memcpy, cudaErrorInjectedFault);
    if (kind != cudaMemcpyHostToDevice || (!src && bytes)) return finish(Op::Memcpy, cudaErrorInvalidValue);
    return finish(Op::Memcpy, currentBackend().copyToDevice(dst, src, bytes));
}

cudaError_t cudaMemcpy(void* dst, DevicePtr src, std::size_t bytes, cudaMemcpyKind kind) {
    if (countAndCheckFault(Op::Memcpy)) return finish(Op::Memcpy, cudaErrorInjectedFault);
    if (kind != cudaMemcpyDeviceToHost || (!dst && bytes)) return finish(Op::Memcpy, cudaErrorInvalidValue);
    return finish(Op::Memcpy, currentBackend().copyToHost(dst, src, bytes));
}

cudaError_t cudaFree(DevicePtr ptr) {
    if (countAndCheckFault(Op::Free)) return finish(Op::Free, cudaErrorInjectedFault);
    return finish(Op::Free, currentBackend().release(ptr));
}

void keepHostRangeResident(const void* host, std::size_t bytes) {
    if (host && bytes && currentBackend().keepResident) currentBackend().keepResident(host, bytes);
}

cudaError_t cudaConfigureCall(dim3 grid, dim3 block, std::size_t sharedBytes, cudaStream_t) {
    configured = false;  // a new configuration always replaces an unfinished one
    if (countAndCheckFault(Op::ConfigureCall)) return finish(Op::ConfigureCall, cudaErrorInjectedFault);
    if (grid.x == 0 || grid.y == 0 || grid.z == 0 || block.x == 0 || block.y == 0 || block.z == 0)
        return finish(Op::ConfigureCall, cudaErrorInvalidConfiguration);
    pendingShape.grid = grid;
    pendingShape.block = block;
    pendingShape.sharedBytes = sharedBytes;
    pendingArgs.used = 0;
    std::memset(pendingArgs.bytes, 0, sizeof pendingArgs.bytes);
    configured = true;
    return finish(Op::ConfigureCall, cudaSuccess);
}

cudaError_t cudaSetupArgument(const void* arg, std::size_t size, std::size_t offset) {
    if (countAndCheckFault(Op::SetupArgument)) return finish(Op::SetupArgument, cudaErrorInjectedFault);
    if (!configured || !arg || offset > maxArgumentBytes || size > maxArgumentBytes - offset)
        return finish(Op::SetupArgument, cudaErrorInvalidValue);
    std::memcpy(pendingArgs.bytes + offset, arg, size);
    if (offset + size > pendingArgs.used) pendingArgs.used = offset + size;
    return finish(Op::SetupArgument, cudaSuccess);
}

cudaError_t cudaLaunch(const void* entry) {
    const bool wasConfigured = configured;
    configured = false;  // a launch always consumes the configuration
    if (countAndCheckFault(Op::Launch)) return finish(Op::Launch, cudaErrorInjectedFault);
    if (!wasConfigured) return finish(Op::Launch, cudaErrorInvalidConfiguration);
    for (int k = 0; k < kernelCount; ++k) {
        if (kernels[k].hostFunction == entry)
            return finish(Op::Launch, currentBackend().launch(kernels[k].row, pendingShape, pendingArgs));
    }
    return finish(Op::Launch, cudaErrorInvalidDeviceFunction);
}

FatBinaryHandle registerFatBinary(const void*) {
    kernelCount = 0;
    return &imageSlot;
}

void registerFunction(FatBinaryHandle image, const void* hostFunction, const KernelRow& kernel) {
    if (image != &imageSlot || kernelCount == maxKernels || !kernel.deviceName) return;
    for (int k = 0; k < kernelCount; ++k)
        if (kernels[k].hostFunction == hostFunction) return;  // registered once only
    kernels[kernelCount++] = RegisteredKernel{hostFunction, kernel};
}

void unregisterFatBinary(FatBinaryHandle image) {
    if (image == &imageSlot) kernelCount = 0;
}

const void* registeredEntry(const char* deviceName) {
    for (int k = 0; k < kernelCount; ++k)
        if (std::strcmp(kernels[k].row.deviceName, deviceName) == 0) return kernels[k].hostFunction;
    return nullptr;
}

int registeredKernelCount() { return kernelCount; }

const char* registeredKernelName(int index) {
    return index >= 0 && index < kernelCount ? kernels[index].row.deviceName : nullptr;
}

const char* opName(Op op) {
    switch (op) {
        case Op::SetDevice: return "cudaSetDevice";
        case Op::Malloc: return "cudaMalloc";
        case Op::Memcpy: return "cudaMemcpy";
        case Op::Free: return "cudaFree";
        case Op::ConfigureCall: return "cudaConfigureCall";
        case Op::SetupArgument: return "cudaSetupArgument";
        case Op::Launch: return "cudaLaunch";
        case Op::Count: break;
    }
    return "?";
}

void failNth(Op op, long nth) { failAtOp[static_cast<int>(op)] = nth > 0 ? nth : 0; }
void failNthOperation(long nth) { failAtTotal = nth > 0 ? nth : 0; }

void clearFaults() {
    for (long& f : failAtOp) f = 0;
    failAtTotal = 0;
}

long operationCount(Op op) { return opCounts[static_cast<int>(op)]; }
long totalOperationCount() { return totalOps; }

void resetCounters() {
    for (long& c : opCounts) c = 0;
    totalOps = 0;
}

void setOperationObserver(OperationObserver o) { observer = o; }

}  // namespace fluidrt
