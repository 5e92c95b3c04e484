// DeviceKernels.cu - the six solver kernels on a CUDA device.
//
// The kernels run the per-cell bodies of KernelBodies.h, so the device
// evaluates the very expressions the host reference does; built without
// fused multiply-adds, with IEEE division and square root and with subnormal
// numbers kept, every product, sum and quotient rounds as on the host.
//
// Single-pass kernels (advection, divergence, gradient). A launch of the
// reference runs a cell phase, the side copies and the corners, one after
// another, and each phase must see every write of the phase before it. Two
// ways give that order here:
//  - three ordinary launches, cells, sides and corners, whose boundaries are
//    the barriers;
//  - one cooperative launch whose phases are separated by a grid-wide barrier
//    (cooperative_groups::this_grid().sync()). A cooperative launch is refused
//    unless every block of the grid can be resident at once, which is what
//    makes the barrier safe; for a grid too large for that, the kernel is
//    started with as many blocks as can be resident, each thread taking every
//    total-th cell (within a phase no cell reads what another cell of that
//    phase writes, so which thread computes a cell does not matter).
// The cooperative way is taken where the device offers cooperative launches
// (some virtual and shared GPUs do not), unless setSinglePassLaunch asks for
// one of them. Both give the same fields.
//
// Relaxations (diffusion, pressure) update in place in increasing cell
// order, sweep after sweep, as the host does, by the wave schedule of
// RelaxationSchedule.h: one block runs all waves, with a block barrier
// between them. The field lives in shared memory when the device has room,
// and then so do the obstacle mask (one byte per cell) and the source or
// divergence, each when it still fits; the rest is read from global memory.
//
// Adding sources has a single phase and is an ordinary launch.
//
// Launches are decoded exactly like the host runs in KernelLaunch.cpp, by the
// same decoder (LaunchArguments.h), so both backends refuse the same launches.
#include <cooperative_groups.h>
#include <cuda_runtime.h>

#include <cstdio>
#include <string>

#include "CudaBackend.h"
#include "DeviceRuns.h"
#include "KernelBodies.h"
#include "Kernels.h"
#include "LaunchArguments.h"
#include "RelaxationSchedule.h"

namespace cg = cooperative_groups;

namespace {

using Status = fluidrt::cudaError_t;
using kernel::cellCount;

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

__global__ void addSourceKernel(int N, float* x, const float* s, float dt) {
    forEachCell(cellCount(N), [&](int t) { kernel::addSourceCell(N, t, x, s, dt); });
}

// The cell phases of the single-pass kernels.
__device__ void advectCells(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                            const int* boundary) {
    forEachCell(cellCount(N), [&](int t) { kernel::advectCell(N, b, t, d, d0, u, v, dt, boundary); });
}
__device__ void projectStep1Cells(int N, const float* u, const float* v, float* p, float* div, const int* boundary) {
    const float h = kernel::gridSpacing(N);
    forEachCell(cellCount(N), [&](int t) { kernel::projectStep1Cell(N, t, u, v, p, div, boundary, h); });
}
__device__ void projectStep3Cells(int N, float* u, float* v, const float* p, const int* boundary) {
    const float h = kernel::gridSpacing(N);
    forEachCell(cellCount(N), [&](int t) { kernel::projectStep3Cell(N, t, u, v, p, boundary, h); });
}

// The border phases on x and then on y (nullptr: x alone). A cell's side
// copies of both are made by the thread that owns it, so the order holds
// even where x and y are one buffer.
__device__ void sidePhase(int N, int b, float* x, float* y) {
    forEachCell(cellCount(N), [&](int t) {
        borderSideCell(N, b, t, x);
        if (y) borderSideCell(N, b, t, y);
    });
}
__device__ void cornerPhase(int N, int b, float* x, float* y) {
    borderCorners(N, b, x);
    if (y) borderCorners(N, b, y);
}

// Three ordinary launches: each phase is a kernel of its own.
__global__ void advectCellsKernel(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                                  const int* boundary) {
    advectCells(N, b, d, d0, u, v, dt, boundary);
}
__global__ void projectStep1CellsKernel(int N, const float* u, const float* v, float* p, float* div,
                                        const int* boundary) {
    projectStep1Cells(N, u, v, p, div, boundary);
}
__global__ void projectStep3CellsKernel(int N, float* u, float* v, const float* p, const int* boundary) {
    projectStep3Cells(N, u, v, p, boundary);
}
__global__ void sidesKernel(int N, int b, float* x, float* y) { sidePhase(N, b, x, y); }
__global__ void cornersKernel(int N, int b, float* x, float* y) { cornerPhase(N, b, x, y); }

// One cooperative launch: the phases apart by grid-wide barriers.
__global__ void advectKernel(int N, int b, float* d, const float* d0, const float* u, const float* v, float dt,
                             const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    advectCells(N, b, d, d0, u, v, dt, boundary);
    grid.sync();
    sidePhase(N, b, d, nullptr);
    grid.sync();
    cornerPhase(N, b, d, nullptr);
}
// The border rule runs on div, then on p.
__global__ void projectStep1Kernel(int N, const float* u, const float* v, float* p, float* div,
                                   const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    projectStep1Cells(N, u, v, p, div, boundary);
    grid.sync();
    sidePhase(N, 0, div, p);
    grid.sync();
    cornerPhase(N, 0, div, p);
}
__global__ void projectStep3Kernel(int N, float* u, float* v, const float* p, const int* boundary) {
    cg::grid_group grid = cg::this_grid();
    projectStep3Cells(N, u, v, p, boundary);
    grid.sync();
    sidePhase(N, 0, u, v);
    grid.sync();
    cornerPhase(N, 0, u, v);
}

// Where a relaxation keeps the field it relaxes, its source (x0 or the
// divergence) and the obstacle mask: shared memory (true) or global memory.
// The shared copies lie field, source (floats), then mask (one byte a cell).
struct Placement {
    bool field = false, source = false, mask = false;
};

// All waves of the plan (RelaxationSchedule.h) in one block; relaxCell(t)
// updates interior cell t of x in place. Each thread finds its pairs once,
// before the waves; MaxSlots bounds the pairs a thread can hold.
template <int MaxSlots, typename RelaxCell>
__device__ void relaxInBlock(const kernel::RelaxationPlan& plan, int b, float* x, RelaxCell relaxCell) {
    kernel::RelaxationPair pairs[MaxSlots];
    // Unrolled, a few pairs stay in registers; many live in local memory.
    constexpr int unrolled = MaxSlots <= 8 ? MaxSlots : 1;
#pragma unroll unrolled
    for (int slot = 0; slot < MaxSlots; ++slot)
        if (slot < plan.slots) pairs[slot] = kernel::relaxationPair(plan, threadIdx.x, slot);
    for (int wave = 0; wave < plan.waves; ++wave) {
#pragma unroll unrolled
        for (int slot = 0; slot < MaxSlots; ++slot)
            if (slot < plan.slots) kernel::relaxPairInWave(plan.N, b, pairs[slot], wave, x, relaxCell);
        __syncthreads();
    }
    if (threadIdx.x == 0) kernel::finishRelaxationCorners(plan.N, b, x);
    __syncthreads();
}

// The three inputs of a relaxation where the placement puts them: shared
// copies are filled from the buffers here, and the field is written back by
// finish().
struct RelaxationInputs {
    float* field;
    const float* source;
    const unsigned char* maskBytes;  // nullptr: the mask stays in global memory

    __device__ RelaxationInputs(int cells, float* x, const float* x0, const int* boundary, Placement where) {
        extern __shared__ float shared[];
        field = where.field ? shared : x;
        float* sharedSource = where.source ? shared + cells : nullptr;
        unsigned char* sharedMask =
            where.mask ? reinterpret_cast<unsigned char*>(shared + (where.source ? 2 * cells : cells)) : nullptr;
        for (int t = threadIdx.x; t < cells; t += blockDim.x) {
            if (where.field) field[t] = x[t];
            if (sharedSource) sharedSource[t] = x0[t];
            if (sharedMask) sharedMask[t] = boundary[t] != 0;
        }
        source = sharedSource ? sharedSource : x0;
        maskBytes = sharedMask;
        __syncthreads();
    }
    __device__ void finish(int cells, float* x) const {
        if (field != x)
            for (int t = threadIdx.x; t < cells; t += blockDim.x) x[t] = field[t];
    }
};

template <int MaxSlots>
__global__ void diffuseKernel(kernel::RelaxationPlan plan, int b, float* x, const float* x0, float diff, float dt,
                              const int* boundary, Placement where) {
    const int N = plan.N, cells = cellCount(N);
    const RelaxationInputs in(cells, x, x0, boundary, where);
    const float a = kernel::diffusionFactor(N, diff, dt);
    const float divisor = kernel::diffusionDivisor(a);
    float* field = in.field;
    const float* source = in.source;
    if (in.maskBytes) {
        const unsigned char* mask = in.maskBytes;
        relaxInBlock<MaxSlots>(plan, b, field,
                               [&](int t) { kernel::diffuseCell(N, t, field, source, a, divisor, mask); });
    } else {
        relaxInBlock<MaxSlots>(plan, b, field,
                               [&](int t) { kernel::diffuseCell(N, t, field, source, a, divisor, boundary); });
    }
    in.finish(cells, x);
}

template <int MaxSlots>
__global__ void projectStep2Kernel(kernel::RelaxationPlan plan, float* p, const float* div, const int* boundary,
                                   Placement where) {
    const int N = plan.N, cells = cellCount(N);
    const RelaxationInputs in(cells, p, div, boundary, where);
    float* field = in.field;
    const float* source = in.source;
    if (in.maskBytes) {
        const unsigned char* mask = in.maskBytes;
        relaxInBlock<MaxSlots>(plan, 0, field, [&](int t) { kernel::projectStep2Cell(N, t, field, source, mask); });
    } else {
        relaxInBlock<MaxSlots>(plan, 0, field,
                               [&](int t) { kernel::projectStep2Cell(N, t, field, source, boundary); });
    }
    in.finish(cells, p);
}

// --- host side: the device's properties, kept per device -------------------------

// Passes a CUDA status on and takes a failure off the last-error record.
Status pass(::cudaError_t status) {
    if (status != ::cudaSuccess) ::cudaGetLastError();
    return static_cast<Status>(status);
}

struct DeviceFacts {
    int device = -1;
    int processors = 0;
    int sharedOptIn = 0;   // bytes of shared memory a block may ask for
    bool cooperative = false;
};

// The current device's facts, read once per device.
Status deviceFacts(DeviceFacts* facts) {
    static DeviceFacts known;
    int device = 0;
    ::cudaError_t status = ::cudaGetDevice(&device);
    if (status != ::cudaSuccess) return pass(status);
    if (known.device != device) {
        DeviceFacts f;
        int cooperative = 0;
        f.device = device;
        status = ::cudaDeviceGetAttribute(&f.processors, ::cudaDevAttrMultiProcessorCount, device);
        if (status == ::cudaSuccess)
            status = ::cudaDeviceGetAttribute(&f.sharedOptIn, ::cudaDevAttrMaxSharedMemoryPerBlockOptin, device);
        if (status == ::cudaSuccess)
            status = ::cudaDeviceGetAttribute(&cooperative, ::cudaDevAttrCooperativeLaunch, device);
        if (status != ::cudaSuccess) return pass(status);
        f.cooperative = cooperative != 0;
        known = f;
    }
    *facts = known;
    return fluidrt::cudaSuccess;
}

// How each kernel last ran, for deviceLaunchReport.
using launcharguments::KernelId;
constexpr int reportRows = launcharguments::kernelIdCount;
struct LastLaunch {
    bool ran = false;
    bool cooperative = false;  // single-pass kernels: one cooperative launch, or three
    ::dim3 grid, block;        // as started (a cooperative grid may be smaller than asked)
    kernel::RelaxationPlan plan{};
    Placement where;
    std::size_t sharedBytes = 0;
};
LastLaunch lastLaunches[reportRows];

LastLaunch plainLaunch(bool ran, bool cooperative, ::dim3 grid, ::dim3 block) {
    LastLaunch l;
    l.ran = ran;
    l.cooperative = cooperative;
    l.grid = grid;
    l.block = block;
    return l;
}

SinglePassLaunch singlePassChoice = SinglePassLaunch::Automatic;

template <typename T>
struct Exactly {
    using type = T;
};

// Starts kernelFn as an ordinary launch.
template <typename... P>
Status startOrdinary(void (*kernelFn)(P...), ::dim3 grid, ::dim3 block, std::size_t sharedBytes,
                     typename Exactly<P>::type... args) {
    void* argv[] = {static_cast<void*>(&args)...};
    return pass(::cudaLaunchKernel(kernelFn, grid, block, argv, sharedBytes, 0));
}

// Blocks of kernelFn of `threads` threads that one multiprocessor holds at
// once; asked once per kernel and block size.
template <typename KernelFn>
Status residentPerProcessor(KernelFn kernelFn, int threads, int* perProcessor) {
    struct Known {
        const void* fn;
        int threads, blocks;
    };
    static Known known[16];
    static int count = 0;
    for (int k = 0; k < count; ++k)
        if (known[k].fn == reinterpret_cast<const void*>(kernelFn) && known[k].threads == threads) {
            *perProcessor = known[k].blocks;
            return fluidrt::cudaSuccess;
        }
    const ::cudaError_t status = ::cudaOccupancyMaxActiveBlocksPerMultiprocessor(perProcessor, kernelFn, threads, 0);
    if (status != ::cudaSuccess) return pass(status);
    if (count < 16) known[count++] = Known{reinterpret_cast<const void*>(kernelFn), threads, *perProcessor};
    return fluidrt::cudaSuccess;
}

::dim3 gridOf(const fluidrt::LaunchShape& shape) { return ::dim3(shape.grid.x, shape.grid.y, shape.grid.z); }
::dim3 blockOf(const fluidrt::LaunchShape& shape) { return ::dim3(shape.block.x, shape.block.y, shape.block.z); }

// Starts a single-pass kernel, cooperatively or as three launches: the cell
// phase (cellsFn with args) with the launch's shape, the side copies of x and
// y with the same shape, and the corners in one thread.
template <typename... P>
Status startSinglePass(KernelId kernel, const fluidrt::LaunchShape& shape, void (*cooperativeFn)(P...),
                       void (*cellsFn)(P...), int N, int b, float* x, float* y, typename Exactly<P>::type... args) {
    DeviceFacts facts;
    if (const Status status = deviceFacts(&facts)) return status;
    const bool cooperative = singlePassChoice == SinglePassLaunch::Automatic
                                 ? facts.cooperative
                                 : singlePassChoice == SinglePassLaunch::Cooperative;
    const ::dim3 block = blockOf(shape);
    ::dim3 grid = gridOf(shape);
    LastLaunch& last = lastLaunches[static_cast<int>(kernel)];
    last = LastLaunch{};
    if (cooperative) {
        const int threads = static_cast<int>(block.x * block.y * block.z);
        int perProcessor = 0;
        if (const Status status = residentPerProcessor(cooperativeFn, threads, &perProcessor)) return status;
        const unsigned long long resident = 1ULL * perProcessor * facts.processors;
        if (resident == 0) return fluidrt::cudaErrorInvalidConfiguration;  // not even one block fits
        if (1ULL * grid.x * grid.y * grid.z > resident) grid = ::dim3(static_cast<unsigned>(resident), 1, 1);
        void* argv[] = {static_cast<void*>(&args)...};
        const Status status = pass(::cudaLaunchCooperativeKernel(cooperativeFn, grid, block, argv, 0, 0));
        last = plainLaunch(status == fluidrt::cudaSuccess, true, grid, block);
        return status;
    }
    Status status = startOrdinary(cellsFn, grid, block, 0, args...);
    if (status == fluidrt::cudaSuccess) status = startOrdinary(sidesKernel, grid, block, 0, N, b, x, y);
    if (status == fluidrt::cudaSuccess) status = startOrdinary(cornersKernel, ::dim3(1), ::dim3(1), 0, N, b, x, y);
    last = plainLaunch(status == fluidrt::cudaSuccess, false, grid, block);
    return status;
}

// What a relaxation kernel's launch needs to know of it on the current
// device, asked of the runtime once: its most threads a block and its own
// shared memory, and the dynamic shared memory it was last allowed.
struct RelaxationKernelFacts {
    const void* fn = nullptr;
    int device = -1;
    int maxThreads = 0;
    std::size_t staticShared = 0, allowedShared = 0;
};

template <typename KernelFn>
Status relaxationKernelFacts(KernelFn kernelFn, int device, RelaxationKernelFacts** facts) {
    static RelaxationKernelFacts known[8];  // four kernels, with room to spare
    RelaxationKernelFacts* k = known;
    while (k != known + 7 && k->fn && (k->fn != reinterpret_cast<const void*>(kernelFn) || k->device != device)) ++k;
    if (k->fn != reinterpret_cast<const void*>(kernelFn) || k->device != device) {
        ::cudaFuncAttributes attributes{};
        const ::cudaError_t status = ::cudaFuncGetAttributes(&attributes, kernelFn);
        if (status != ::cudaSuccess) return pass(status);
        *k = RelaxationKernelFacts{reinterpret_cast<const void*>(kernelFn), device, attributes.maxThreadsPerBlock,
                                   attributes.sharedSizeBytes, 0};
    }
    *facts = k;
    return fluidrt::cudaSuccess;
}

// A relaxation's launch: the plan for the most threads its kernel may have
// (at most 1024), the placement of its inputs and the shared memory that takes.
template <typename KernelFn>
Status planRelaxation(KernelFn kernelFn, int N, LastLaunch* launch) {
    DeviceFacts device;
    if (const Status status = deviceFacts(&device)) return status;
    RelaxationKernelFacts* facts = nullptr;
    if (const Status status = relaxationKernelFacts(kernelFn, device.device, &facts)) return status;
    launch->plan = kernel::relaxationPlan(N, relaxationSweeps, facts->maxThreads < 1024 ? facts->maxThreads : 1024);

    const std::size_t cells = static_cast<std::size_t>(cellCount(N));
    const std::size_t optIn = static_cast<std::size_t>(device.sharedOptIn);
    const std::size_t limit = optIn > facts->staticShared ? optIn - facts->staticShared : 0;
    std::size_t bytes = 0;
    Placement& where = launch->where;
    where = Placement{};
    // The field first, then the mask (small), then the source, each while it fits.
    if (sizeof(float) * cells <= limit) {
        where.field = true;
        bytes = sizeof(float) * cells;
        where.mask = bytes + cells <= limit;
        where.source = bytes + (where.mask ? cells : 0) + sizeof(float) * cells <= limit;
        bytes += (where.source ? sizeof(float) * cells : 0) + (where.mask ? cells : 0);
    }
    if (bytes != facts->allowedShared) {
        const ::cudaError_t status =
            ::cudaFuncSetAttribute(kernelFn, ::cudaFuncAttributeMaxDynamicSharedMemorySize, static_cast<int>(bytes));
        if (status != ::cudaSuccess) return pass(status);
        facts->allowedShared = bytes;
    }
    launch->sharedBytes = bytes;
    launch->grid = ::dim3(1);
    launch->block = ::dim3(static_cast<unsigned>(launch->plan.threads));
    return fluidrt::cudaSuccess;
}

// Starts the relaxation kernel whose slots hold the plan: up to 4 pairs a
// thread (N up to 204 with 1024 threads) or up to 128 (every N the decoder
// takes, with 640 threads or more).
constexpr int fewSlots = 4, manySlots = 128;

template <template <int> class Pick, typename... Args>
Status startRelaxation(KernelId kernel, int N, Args... args) {
    LastLaunch launch;
    Status status = planRelaxation(Pick<fewSlots>::fn(), N, &launch);
    bool few = status == fluidrt::cudaSuccess && launch.plan.slots <= fewSlots;
    if (!few) status = planRelaxation(Pick<manySlots>::fn(), N, &launch);
    if (status != fluidrt::cudaSuccess) return status;
    if (launch.plan.slots > manySlots) return fluidrt::cudaErrorInvalidConfiguration;
    status = startOrdinary(few ? Pick<fewSlots>::fn() : Pick<manySlots>::fn(), launch.grid, launch.block,
                           launch.sharedBytes, launch.plan, args..., launch.where);
    launch.ran = status == fluidrt::cudaSuccess;
    lastLaunches[static_cast<int>(kernel)] = launch;
    return status;
}
template <int Slots>
struct DiffuseFn {
    static auto fn() { return diffuseKernel<Slots>; }
};
template <int Slots>
struct ProjectStep2Fn {
    static auto fn() { return projectStep2Kernel<Slots>; }
};

// --- host side: decoding and starting ------------------------------------------

// Decodes a launch with the handles resolved to device addresses; a nonzero
// status refuses it.
template <typename Args>
Status decodeOnDevice(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args, Args* a) {
    return launcharguments::decode(shape, args, fluidgpu::deviceBufferAddress, a);
}

Status launchAddSource(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AddSourceArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    const Status status = startOrdinary(addSourceKernel, gridOf(shape), blockOf(shape), 0, a.N, a.x, a.s, a.dt);
    lastLaunches[static_cast<int>(KernelId::AddSource)] =
        plainLaunch(status == fluidrt::cudaSuccess, false, gridOf(shape), blockOf(shape));
    return status;
}

Status launchDiffuse(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::DiffuseArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return startRelaxation<DiffuseFn>(KernelId::Diffuse, a.N, a.b, a.x, a.x0, a.diff, a.dt, a.boundary);
}

Status launchAdvect(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::AdvectArgs a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return startSinglePass(KernelId::Advect, shape, advectKernel, advectCellsKernel, a.N, a.b, a.d, nullptr, a.N, a.b,
                           a.d, a.d0, a.u, a.v, a.dt, a.boundary);
}

Status launchProjectStep1(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep1Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return startSinglePass(KernelId::ProjectStep1, shape, projectStep1Kernel, projectStep1CellsKernel, a.N, 0, a.div,
                           a.p, a.N, a.u, a.v, a.p, a.div, a.boundary);
}

Status launchProjectStep2(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep2Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return startRelaxation<ProjectStep2Fn>(KernelId::ProjectStep2, a.N, a.p, a.div, a.boundary);
}

Status launchProjectStep3(const fluidrt::LaunchShape& shape, const fluidrt::ArgumentBlock& args) {
    launcharguments::ProjectStep3Args a;
    if (const Status refused = decodeOnDevice(shape, args, &a)) return refused;
    return startSinglePass(KernelId::ProjectStep3, shape, projectStep3Kernel, projectStep3CellsKernel, a.N, 0, a.u,
                           a.v, a.N, a.u, a.v, a.p, a.boundary);
}

std::string shapeText(::dim3 d) {
    return std::to_string(d.x) + (d.y > 1 || d.z > 1 ? "x" + std::to_string(d.y) + "x" + std::to_string(d.z) : "");
}

}  // namespace

const DeviceRuns deviceRuns = {launchAddSource,       launchDiffuse,         launchAdvect,
                               launchProjectStep1,    launchProjectStep2,    launchProjectStep3};

void setSinglePassLaunch(SinglePassLaunch how) { singlePassChoice = how; }

bool cooperativeLaunchOffered() {
    DeviceFacts facts;
    return deviceFacts(&facts) == fluidrt::cudaSuccess && facts.cooperative;
}

std::string deviceLaunchReport() {
    std::string text;
    for (int row = 0; row < reportRows; ++row) {
        const LastLaunch& l = lastLaunches[row];
        const auto kernel = static_cast<KernelId>(row);
        text += std::string(launcharguments::kernelName(kernel)) + ": ";
        if (!l.ran) {
            text += "has not run\n";
            continue;
        }
        if (kernel == KernelId::Diffuse || kernel == KernelId::ProjectStep2) {
            auto where = [](bool shared) { return shared ? "shared" : "global"; };
            char line[256];
            std::snprintf(line, sizeof line,
                          "one block of %d threads, %d pairs each, %d waves; field in %s memory, source in %s, "
                          "mask in %s; %zu bytes of shared memory\n",
                          l.plan.threads, l.plan.slots, l.plan.waves, where(l.where.field), where(l.where.source),
                          where(l.where.mask), l.sharedBytes);
            text += line;
        } else if (kernel == KernelId::AddSource) {
            text += "one launch of " + shapeText(l.grid) + " blocks of " + shapeText(l.block) + " threads\n";
        } else {
            text += (l.cooperative ? "one cooperative launch, grid of "
                                   : "three launches (cells, sides, corners), grid of ") +
                    shapeText(l.grid) + " blocks of " + shapeText(l.block) + " threads\n";
        }
    }
    return text;
}
