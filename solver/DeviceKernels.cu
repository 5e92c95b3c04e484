// DeviceKernels.cu - the six solver kernels on a CUDA device.
//
// The kernels run the per-cell bodies of KernelBodies.h, so the device
// evaluates the very expressions the host reference does; built without
// fused multiply-adds, with IEEE division and square root and with subnormal
// numbers kept, every product, sum and quotient rounds as on the host.
//
// One launch, all phases. A launch of the reference runs a cell phase, the
// side copies and the corners, one after another, and the relaxations run 20
// sweeps of copy-previous, cell phase, side copies and corners. Each phase
// must see every write of the phase before it. Here the whole launch is one
// cooperative kernel whose phases are separated by a grid-wide barrier
// (cooperative_groups::this_grid().sync()), rather than one kernel launch per
// phase: a relaxation would otherwise take some 80 launches, and the runtime
// layer hands the backend one launch with one argument block. A cooperative
// launch is refused unless every block of the grid can be resident at once,
// which is what makes the barrier safe. The solver's 512 blocks of 32 threads
// are resident at once on a GPU with 16 (Ampere A100, Hopper) to 32 (Turing,
// consumer Ampere) multiprocessors or more. On a smaller device, or for a
// larger grid, the kernel is started with as many blocks of the requested
// size as can be resident, and each thread takes every total-th cell: within
// a phase no cell reads what another cell of that phase writes, so which
// thread computes a cell does not change the result.
//
// Adding sources has a single phase and is an ordinary launch.
//
// Launches are decoded exactly like the host realisations in KernelLaunch.cpp:
// the same argument offsets, the same check that the launch has one thread
// per cell, the same refusal of missing or too small buffers. On top of that
// a launch is refused when a buffer that the kernel writes is one that it
// reads at other cells, because the host's result then depends on the order
// in which it visits the cells, and parallel threads have no such order.
#include <cooperative_groups.h>
#include <cuda_runtime.h>

#include <cstring>
#include <initializer_list>

#include "CudaBackend.h"
#include "KernelBodies.h"
#include "Kernels.h"
#include "LaunchArguments.h"

namespace cg = cooperative_groups;

namespace {

using Status = fluidrt::cudaError_t;

// --- device side -------------------------------------------------------------

// This thread's place among all threads of the launch (blocks in x, y, z
// order, threads within a block likewise), and the number of threads.
__device__ long long threadRank() {
    const long long block = blockIdx.x + 1LL * gridDim.x * (blockIdx.y + 1LL * gridDim.y * blockIdx.z);
    const long long inBlock = threadIdx.x + 1LL * blockDim.x * (threadIdx.y + 1LL * blockDim.y * threadIdx.z);
    return block * (1LL * blockDim.x * blockDim.y * blockDim.z) + inBlock;
}
__device__ long long threadTotal() {
    return 1LL * gridDim.x * gridDim.y * gridDim.z * blockDim.x * blockDim.y * blockDim.z;
}

// Runs body(t) for the cells of this thread: cell t = its rank when the launch
// has one thread per cell, every total-th cell from its rank when it has fewer.
template <typename Body>
__device__ void forEachCell(int cells, Body body) {
    const long long total = threadTotal();
    for (long long t = threadRank(); t < cells; t += total) body(static_cast<int>(t));
}

__device__ bool isCorner(int N, int t) {
    const int i = kernel::cellI(N, t), j = kernel::cellJ(N, t);
    return (i == 0 || i == N + 1) && (j == 0 || j == N + 1);
}

// Side copies, one cell. Under the copy rule the corner phase replaces the four
// corners afterwards, so their side copies are left out: those would read side
// cells that other threads write in this same phase. Side cells themselves
// only read interior cells.
__device__ void borderSideCell(int N, int b, int t, float* x) {
    if (b == 0 && isCorner(N, t)) return;
    kernel::borderSide(N, b, t, x);
}

// Corner phase: one thread takes the four corners in their fixed order.
__device__ void borderCorners(int N, int b, float* x) {
    if (threadRank() == 0)
        for (int k = 0; k < 4; ++k) kernel::borderCorner(N, b, k, x);
}

__device__ int cellCount(int N) { return (N + 2) * (N + 2); }

__global__ void addSourceKernel(int N, float* x, const float* s, float dt) {
    forEachCell(cellCount(N), [&](int t) { kernel::addSourceCell(N, t, x, s, dt); });
}

// Every sweep copies the field to prev, then relaxes each cell from prev.
__global__ void diffuseKernel(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary,
                              float* prev) {
    cg::grid_group grid = cg::this_grid();
    const int cells = cellCount(N);
    const float a = kernel::diffusionFactor(N, diff, dt);
    const float divisor = kernel::diffusionDivisor(a);
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        forEachCell(cells, [&](int t) { prev[t] = x[t]; });
        grid.sync();
        forEachCell(cells, [&](int t) { kernel::diffuseCell(N, t, x, prev, x0, a, divisor, boundary); });
        grid.sync();
        forEachCell(cells, [&](int t) { borderSideCell(N, b, t, x); });
        grid.sync();
        borderCorners(N, b, x);
        if (sweep + 1 < relaxationSweeps) grid.sync();
    }
}

__global__ void advectKernel(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                             const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    const int cells = cellCount(N);
    forEachCell(cells, [&](int t) { kernel::advectCell(N, b, t, d, d0, u, v, dt, boundary); });
    grid.sync();
    forEachCell(cells, [&](int t) { borderSideCell(N, b, t, d); });
    grid.sync();
    borderCorners(N, b, d);
}

// The border rule runs on div, then on p; a cell's side copies of both are
// made by the thread that owns it, so this order holds even if they coincide.
__global__ void projectStep1Kernel(int N, const float* u, const float* v, float* p, float* div,
                                   const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    const int cells = cellCount(N);
    const float h = kernel::gridSpacing(N);
    forEachCell(cells, [&](int t) { kernel::projectStep1Cell(N, t, u, v, p, div, boundary, h); });
    grid.sync();
    forEachCell(cells, [&](int t) {
        borderSideCell(N, 0, t, div);
        borderSideCell(N, 0, t, p);
    });
    grid.sync();
    borderCorners(N, 0, div);
    borderCorners(N, 0, p);
}

__global__ void projectStep2Kernel(int N, float* p, const float* div, const int* boundary, float* prev) {
    cg::grid_group grid = cg::this_grid();
    const int cells = cellCount(N);
    for (int sweep = 0; sweep < relaxationSweeps; ++sweep) {
        forEachCell(cells, [&](int t) { prev[t] = p[t]; });
        grid.sync();
        forEachCell(cells, [&](int t) { kernel::projectStep2Cell(N, t, p, prev, div, boundary); });
        grid.sync();
        forEachCell(cells, [&](int t) { borderSideCell(N, 0, t, p); });
        grid.sync();
        borderCorners(N, 0, p);
        if (sweep + 1 < relaxationSweeps) grid.sync();
    }
}

__global__ void projectStep3Kernel(int N, float* u, float* v, const float* p, const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    const int cells = cellCount(N);
    const float h = kernel::gridSpacing(N);
    forEachCell(cells, [&](int t) { kernel::projectStep3Cell(N, t, u, v, p, boundary, h); });
    grid.sync();
    forEachCell(cells, [&](int t) {
        borderSideCell(N, 0, t, u);
        borderSideCell(N, 0, t, v);
    });
    grid.sync();
    borderCorners(N, 0, u);
    borderCorners(N, 0, v);
}

// --- host side: decoding and starting ------------------------------------------

// Passes a CUDA status on and takes a failure off the last-error record.
Status pass(::cudaError_t status) {
    if (status != ::cudaSuccess) ::cudaGetLastError();
    return static_cast<Status>(status);
}

// Decodes a launch with the handles resolved to device addresses; a nonzero
// status refuses it.
template <typename Args>
Status decodeOnDevice(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args, Args* a) {
    return launcharguments::decode(shape, args, fluidgpu::deviceBufferAddress, a);
}

bool same(const void* a, const void* b) { return a == b; }

template <typename T>
struct Exactly {
    using type = T;
};

enum class Start { Ordinary, Cooperative };

// Starts kernelFn on the default queue with the launch's block shape and
// dynamic shared memory. A cooperative start keeps the launch's grid when all
// its blocks can be resident at once and otherwise takes the most that can.
template <typename... P>
Status start(Start how, void (*kernelFn)(P...), const fluidrt::LaunchShape& shape,
             typename Exactly<P>::type... args) {
    const ::dim3 block(shape.block.x, shape.block.y, shape.block.z);
    ::dim3 grid(shape.grid.x, shape.grid.y, shape.grid.z);
    void* argv[] = {static_cast<void*>(&args)...};
    if (how == Start::Ordinary) return pass(::cudaLaunchKernel(kernelFn, grid, block, argv, shape.sharedBytes, 0));

    int device = 0, processors = 0, perProcessor = 0;
    ::cudaError_t status = ::cudaGetDevice(&device);
    if (status == ::cudaSuccess)
        status = ::cudaDeviceGetAttribute(&processors, ::cudaDevAttrMultiProcessorCount, device);
    if (status == ::cudaSuccess)
        status = ::cudaOccupancyMaxActiveBlocksPerMultiprocessor(&perProcessor, kernelFn,
                                                                 static_cast<int>(block.x * block.y * block.z),
                                                                 shape.sharedBytes);
    if (status != ::cudaSuccess) return pass(status);
    const unsigned long long resident = 1ULL * perProcessor * processors;
    if (resident == 0) return fluidrt::cudaErrorInvalidConfiguration;  // not even one block fits
    if (1ULL * grid.x * grid.y * grid.z > resident) grid = ::dim3(static_cast<unsigned>(resident), 1, 1);
    return pass(::cudaLaunchCooperativeKernel(kernelFn, grid, block, argv, shape.sharedBytes, 0));
}

Status launchAddSource(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AddSourceArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return start(Start::Ordinary, addSourceKernel, shape, a.N, a.x, a.s, a.dt);
}

Status launchDiffuse(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::DiffuseArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    Status status = fluidrt::cudaSuccess;
    float* prev = fluidgpu::relaxationScratch(0, sizeof(float) * a.cells, &status);
    if (!prev) return status;
    return start(Start::Cooperative, diffuseKernel, shape, a.N, a.b, a.x, a.x0, a.diff, a.dt, a.boundary, prev);
}

Status launchAdvect(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AdvectArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    // With b == 1 the mask is read at the neighbours along j.
    if (a.b == 1 && same(a.d, a.boundary)) return fluidrt::cudaErrorInvalidValue;
    return start(Start::Cooperative, advectKernel, shape, a.N, a.b, a.d, a.d0, a.u, a.v, a.dt, a.boundary);
}

Status launchProjectStep1(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep1Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    // u, v and the mask are read at neighbouring cells.
    for (const void* written : {static_cast<const void*>(a.p), static_cast<const void*>(a.div)})
        if (same(written, a.u) || same(written, a.v) || same(written, a.boundary)) return fluidrt::cudaErrorInvalidValue;
    return start(Start::Cooperative, projectStep1Kernel, shape, a.N, a.u, a.v, a.p, a.div, a.boundary);
}

Status launchProjectStep2(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep2Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    if (same(a.p, a.boundary)) return fluidrt::cudaErrorInvalidValue;  // the mask is read at neighbouring cells
    Status status = fluidrt::cudaSuccess;
    float* prev = fluidgpu::relaxationScratch(1, sizeof(float) * a.cells, &status);
    if (!prev) return status;
    return start(Start::Cooperative, projectStep2Kernel, shape, a.N, a.p, a.div, a.boundary, prev);
}

Status launchProjectStep3(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep3Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    // p and the mask are read at neighbouring cells.
    for (const void* written : {static_cast<const void*>(a.u), static_cast<const void*>(a.v)})
        if (same(written, a.p) || same(written, a.boundary)) return fluidrt::cudaErrorInvalidValue;
    return start(Start::Cooperative, projectStep3Kernel, shape, a.N, a.u, a.v, a.p, a.boundary);
}

}  // namespace

namespace fluidgpu {

const DeviceKernel deviceKernels[] = {
    {"gpuKernelAdd_Source", launchAddSource},       {"gpuKernelDiffuse", launchDiffuse},
    {"gpuKernelAdvect", launchAdvect},              {"gpuKernelProjectStep1", launchProjectStep1},
    {"gpuKernelProjectStep2", launchProjectStep2},  {"gpuKernelProjectStep3", launchProjectStep3},
};
const int deviceKernelCount = sizeof deviceKernels / sizeof deviceKernels[0];

}  // namespace fluidgpu
