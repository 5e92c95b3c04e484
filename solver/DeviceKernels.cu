// DeviceKernels.cu - the six solver kernels on a CUDA device.
//
// The kernels run the per-cell bodies of KernelBodies.h, so the device
// evaluates the very expressions the host reference does; built without
// fused multiply-adds, with IEEE division and square root and with subnormal
// numbers kept, every product, sum and quotient rounds as on the host.
//
// Single-pass kernels (advection, divergence, gradient). A launch of the
// reference runs a cell phase, the side copies and the corners, one after
// another, and each phase must see every write of the phase before it. Here
// the whole launch is one cooperative kernel whose phases are separated by a
// grid-wide barrier (cooperative_groups::this_grid().sync()). A cooperative
// launch is refused unless every block of the grid can be resident at once,
// which is what makes the barrier safe. The solver's 512 blocks of 32
// threads are resident at once on a GPU with 16 (Ampere A100, Hopper) to 32
// (Turing, consumer Ampere) multiprocessors or more. On a smaller device, or
// for a larger grid, the kernel is started with as many blocks of the
// requested size as can be resident, and each thread takes every total-th
// cell: within a phase no cell reads what another cell of that phase writes,
// so which thread computes a cell does not change the result.
//
// Relaxations (diffusion, pressure) update in place in increasing cell
// order, sweep after sweep, as the host does, in the wave order that the
// host's vector code uses (VectorKernels.h says why it gives the same
// numbers): one block runs wave after wave, its threads computing diagonal
// 2 + w - 2k of every sweep k of wave w, with a block barrier between waves,
// on a copy of the field in shared memory when the device offers enough
// (global memory otherwise). Each interior cell next to the border writes the
// border cell's end-of-sweep value right after its own update; the corners
// are set once at the end.
//
// Adding sources has a single phase and is an ordinary launch.
//
// Launches are decoded exactly like the host runs in KernelLaunch.cpp, by the
// same decoder (LaunchArguments.h), so both backends refuse the same launches.
#include <cooperative_groups.h>
#include <cuda_runtime.h>


#include "CudaBackend.h"
#include "DeviceRuns.h"
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

using kernel::cellCount;

__global__ void addSourceKernel(int N, float* x, const float* s, float dt) {
    forEachCell(cellCount(N), [&](int t) { kernel::addSourceCell(N, t, x, s, dt); });
}

// All sweeps of a relaxation in one block, wave by wave (see the top of this
// file); relaxCell(t) updates interior cell t of x in place.
template <typename RelaxCell>
__device__ void relaxInPlace(int N, int b, float* x, RelaxCell relaxCell) {
    const int diagonals = 2 * N - 1;  // interior diagonals 2 .. 2N
    const int waves = diagonals + 2 * (relaxationSweeps - 1);
    for (int wave = 0; wave < waves; ++wave) {
        for (int q = threadIdx.x; q < relaxationSweeps * N; q += blockDim.x) {
            const int k = q / N, i = q % N + 1, j = 2 + wave - 2 * k - i;
            if (j < 1 || j > N) continue;
            const int t = kernel::cellAt(N, i, j);
            relaxCell(t);
            const float border = kernel::sideValue(b, x[t]);
            if (i == 1) x[kernel::cellAt(N, 0, j)] = border;
            if (i == N) x[kernel::cellAt(N, N + 1, j)] = border;
            if (j == 1) x[kernel::cellAt(N, i, 0)] = border;
            if (j == N) x[kernel::cellAt(N, i, N + 1)] = border;
        }
        __syncthreads();
    }
    if (threadIdx.x == 0)
        for (int k = 0; k < 4; ++k) {
            if (b == 0)
                kernel::copyRuleCorner(N, k, x);
            else
                kernel::zeroRuleSide(N, kernel::cellAt(N, k < 2 ? 0 : N + 1, k % 2 == 0 ? 0 : N + 1), x);
        }
    __syncthreads();
}

// The field a relaxation works on: a copy in dynamic shared memory, or the
// buffer itself.
__device__ float* relaxationField(int cells, float* x, bool inShared) {
    extern __shared__ float shared[];
    if (!inShared) return x;
    for (int t = threadIdx.x; t < cells; t += blockDim.x) shared[t] = x[t];
    __syncthreads();
    return shared;
}
__device__ void finishRelaxation(int cells, float* x, const float* field) {
    if (field != x)
        for (int t = threadIdx.x; t < cells; t += blockDim.x) x[t] = field[t];
}

__global__ void diffuseKernel(int N, int b, float* x, const float* x0, float diff, float dt, const int* boundary,
                              bool inShared) {
    const int cells = cellCount(N);
    float* field = relaxationField(cells, x, inShared);
    const float a = kernel::diffusionFactor(N, diff, dt);
    const float divisor = kernel::diffusionDivisor(a);
    relaxInPlace(N, b, field, [&](int t) { kernel::diffuseCell(N, t, field, x0, a, divisor, boundary); });
    finishRelaxation(cells, x, field);
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

__global__ void projectStep2Kernel(int N, float* p, const float* div, const int* boundary, bool inShared) {
    const int cells = cellCount(N);
    float* field = relaxationField(cells, p, inShared);
    relaxInPlace(N, 0, field, [&](int t) { kernel::projectStep2Cell(N, t, field, div, boundary); });
    finishRelaxation(cells, p, field);
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

// Whether a relaxation's field of `cells` cells can live in dynamic shared
// memory; asks the device to allow kernelFn that much.
template <typename KernelFn>
bool fieldFitsShared(KernelFn kernelFn, int cells) {
    int device = 0, limit = 0;
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(cells);
    const bool fits = ::cudaGetDevice(&device) == ::cudaSuccess &&
                      ::cudaDeviceGetAttribute(&limit, ::cudaDevAttrMaxSharedMemoryPerBlockOptin, device) ==
                          ::cudaSuccess &&
                      bytes <= static_cast<std::size_t>(limit) &&
                      ::cudaFuncSetAttribute(kernelFn, ::cudaFuncAttributeMaxDynamicSharedMemorySize,
                                             static_cast<int>(bytes)) == ::cudaSuccess;
    if (!fits) ::cudaGetLastError();
    return fits;
}

// Starts kernelFn as one block of as many threads as it can have, up to 1024.
template <typename... P>
Status startOneBlock(void (*kernelFn)(P...), std::size_t sharedBytes, typename Exactly<P>::type... args) {
    ::cudaFuncAttributes attributes{};
    const ::cudaError_t status = ::cudaFuncGetAttributes(&attributes, kernelFn);
    if (status != ::cudaSuccess) return pass(status);
    const int threads = attributes.maxThreadsPerBlock;
    void* argv[] = {static_cast<void*>(&args)...};
    const ::dim3 block(static_cast<unsigned>(threads < 1024 ? threads : 1024), 1, 1);
    return pass(::cudaLaunchKernel(kernelFn, ::dim3(1, 1, 1), block, argv, sharedBytes, 0));
}

Status launchAddSource(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AddSourceArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return start(Start::Ordinary, addSourceKernel, shape, a.N, a.x, a.s, a.dt);
}

Status launchDiffuse(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::DiffuseArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    const bool inShared = fieldFitsShared(diffuseKernel, a.cells);
    return startOneBlock(diffuseKernel, inShared ? sizeof(float) * a.cells : 0, a.N, a.b, a.x, a.x0, a.diff, a.dt,
                         a.boundary, inShared);
}

Status launchAdvect(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AdvectArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return start(Start::Cooperative, advectKernel, shape, a.N, a.b, a.d, a.d0, a.u, a.v, a.dt, a.boundary);
}

Status launchProjectStep1(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep1Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return start(Start::Cooperative, projectStep1Kernel, shape, a.N, a.u, a.v, a.p, a.div, a.boundary);
}

Status launchProjectStep2(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep2Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    const bool inShared = fieldFitsShared(projectStep2Kernel, a.cells);
    return startOneBlock(projectStep2Kernel, inShared ? sizeof(float) * a.cells : 0, a.N, a.p, a.div, a.boundary,
                         inShared);
}

Status launchProjectStep3(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep3Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return start(Start::Cooperative, projectStep3Kernel, shape, a.N, a.u, a.v, a.p, a.boundary);
}

}  // namespace

const DeviceRuns deviceRuns = {launchAddSource,       launchDiffuse,         launchAdvect,
                               launchProjectStep1,    launchProjectStep2,    launchProjectStep3};
