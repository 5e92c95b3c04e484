// DeviceRuntime.h - our own device runtime layer.
//
// The solver talks to "the device" through the small set of operations below,
// named after the classic launch-by-argument-hand-over runtime interface:
// buffers are allocated, filled, read back and freed; a kernel launch is a
// configuration, a run of 4-byte argument hand-overs at byte offsets, and a
// launch of a kernel registered at start-up. Every operation returns a status,
// 0 meaning success.
//
// The operations live in namespace fluidrt so that they never collide with a
// vendor runtime that a GPU backend links against. A device address travels
// through the 4-byte argument slots as a buffer handle (DevicePtr) that the
// backend resolves; on a 64-bit host a raw address would not fit.
//
// Backends: the host backend runs everything on the host (a buffer is a host
// allocation, a copy is memcpy, a launch runs the kernel's host run); the
// CUDA backend, where the build has one, runs them on a CUDA device.
// chooseBackend picks one at start-up; this layer is the only place that
// knows which one runs. Counting and fault injection sit in front of
// whichever backend is active, so every failure path of the callers can be
// exercised without a device.
//
// The declarations follow their readers: first the calls the solver and
// start-up make, then what a launch carries and the kernel rows it is found
// in, then what the backends and the kernels' host runs use, and last the
// hooks through which tests count operations and make them fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fluidrt {

using cudaError_t = int;
constexpr cudaError_t cudaSuccess = 0;
constexpr cudaError_t cudaErrorInvalidValue = 1;
constexpr cudaError_t cudaErrorMemoryAllocation = 2;
constexpr cudaError_t cudaErrorInvalidConfiguration = 9;
constexpr cudaError_t cudaErrorInvalidDevicePointer = 17;
constexpr cudaError_t cudaErrorInvalidDevice = 101;
constexpr cudaError_t cudaErrorInvalidDeviceFunction = 98;
constexpr cudaError_t cudaErrorInjectedFault = 999;  // made to fail by a test

enum cudaMemcpyKind { cudaMemcpyHostToDevice = 1, cudaMemcpyDeviceToHost = 2 };

using cudaStream_t = int;  // 0 is the one default queue

struct dim3 {
    unsigned x = 1, y = 1, z = 1;
    constexpr dim3(unsigned x_ = 1, unsigned y_ = 1, unsigned z_ = 1) : x(x_), y(y_), z(z_) {}
};

// A device buffer as the solver sees it: a 4-byte handle, 0 meaning none.
struct DevicePtr {
    std::uint32_t handle = 0;
};
static_assert(sizeof(DevicePtr) == 4, "device addresses travel in 4-byte argument slots");

// --- the operations the solver and start-up call ---------------------------
cudaError_t cudaSetDevice(int device);
cudaError_t cudaMalloc(DevicePtr* ptr, std::size_t bytes);
cudaError_t cudaMemcpy(DevicePtr dst, const void* src, std::size_t bytes, cudaMemcpyKind kind);
cudaError_t cudaMemcpy(void* dst, DevicePtr src, std::size_t bytes, cudaMemcpyKind kind);
cudaError_t cudaFree(DevicePtr ptr);
// The queue is always the one default queue (0); the argument is accepted and
// not used.
cudaError_t cudaConfigureCall(dim3 grid, dim3 block, std::size_t sharedBytes = 0, cudaStream_t stream = 0);
cudaError_t cudaSetupArgument(const void* arg, std::size_t size, std::size_t offset);
cudaError_t cudaLaunch(const void* entry);

struct Backend;  // below, with what the backends use

// Asks the backend to keep a host range that is copied to and from the
// device every step resident (page-locked), so that its copies run straight
// from it. Not one of the counted operations and never a failure: where the
// backend cannot, or has no use for it, the range stays as it is. The range
// must stay valid for the rest of the process.
void keepHostRangeResident(const void* host, std::size_t bytes);

// Chooses, installs and returns the backend for the process: the CUDA backend
// when the build has one and a CUDA device is present, the host backend
// otherwise. The environment variable FLUID_BACKEND=host or FLUID_BACKEND=cuda
// asks for one; a request that cannot be met (no CUDA backend or device, or
// another value) prints one line on standard error and leaves the choice as
// it would be without it.
const Backend& chooseBackend();

// --- what a launch carries, and the rows its kernel is found in -----------
// Launch shape and arguments as they reach a backend.
constexpr std::size_t maxArgumentBytes = 64;
struct LaunchShape {
    dim3 grid, block;
    std::size_t sharedBytes = 0;
};
struct ArgumentBlock {
    unsigned char bytes[maxArgumentBytes];  // hand-over area, filled at byte offsets
    std::size_t used = 0;                   // highest offset + size handed over
};

// A kernel's run on one backend: decodes the handed-over arguments and runs
// the kernel over all cells. Returns a status, nonzero when it refuses the
// launch (a handle that names no buffer large enough, a shape without one
// thread per cell, ...), in which case it has written nothing.
using KernelRun = cudaError_t (*)(const LaunchShape& shape, const ArgumentBlock& args);

// A kernel as it is registered: its device name and its runs on the host
// backend and on the CUDA backend (nullptr where this build has none).
struct KernelRow {
    const char* deviceName;
    KernelRun hostRun;
    KernelRun deviceRun;
};

// Registration of the code image and of its kernels. The image handle is an
// opaque token; registerFunction pairs a host launch function (the entry that
// cudaLaunch receives) with the kernel's row, the one place where a kernel's
// runs are named. A launch finds its kernel only through these rows.
using FatBinaryHandle = void**;
FatBinaryHandle registerFatBinary(const void* image);
void registerFunction(FatBinaryHandle image, const void* hostFunction, const KernelRow& kernel);
void unregisterFatBinary(FatBinaryHandle image);

// Looks up a registered kernel by its device name (nullptr when unknown).
const void* registeredEntry(const char* deviceName);
int registeredKernelCount();
const char* registeredKernelName(int index);  // in registration order

// --- the backends, and what the kernels' host runs use --------------------
struct Backend {
    const char* name;
    cudaError_t (*setDevice)(int device);
    cudaError_t (*allocate)(DevicePtr* ptr, std::size_t bytes);
    cudaError_t (*copyToDevice)(DevicePtr dst, const void* src, std::size_t bytes);
    cudaError_t (*copyToHost)(void* dst, DevicePtr src, std::size_t bytes);
    cudaError_t (*release)(DevicePtr ptr);
    // runs the row's run for this backend; refuses a row without one
    cudaError_t (*launch)(const KernelRow& kernel, const LaunchShape& shape, const ArgumentBlock& args);
    // keepHostRangeResident; nullptr where the backend has no use for it
    cudaError_t (*keepResident)(const void* host, std::size_t bytes);
};
const Backend& hostBackend();
void setBackend(const Backend* backend);  // nullptr restores the host backend; tests install their own
const Backend& currentBackend();

// Host backend only: the host memory behind a handle, or nullptr when the
// handle names no live buffer of at least minBytes. Host realisations use it.
void* hostBufferAddress(DevicePtr ptr, std::size_t minBytes);
int liveBufferCount();  // buffers allocated and not yet freed

// --- test hooks: counting and fault injection ------------------------------
enum class Op { SetDevice, Malloc, Memcpy, Free, ConfigureCall, SetupArgument, Launch, Count };
const char* opName(Op op);

// Makes the nth call of op from now on (1 = the next one) return a failure.
void failNth(Op op, long nth);
// Makes the nth runtime operation of any kind from now on return a failure.
void failNthOperation(long nth);
void clearFaults();
// Calls so far, per kind and in total (reset by resetCounters).
long operationCount(Op op);
long totalOperationCount();
void resetCounters();
// Called after every operation with its kind and status; nullptr for none.
using OperationObserver = void (*)(Op op, cudaError_t status);
void setOperationObserver(OperationObserver observer);

}  // namespace fluidrt
