// The CUDA backend against the host backend: each kernel alone and whole
// steps on random fields and masks, every downloaded field compared bit for
// bit, and the backend's refusals. Every test is skipped when gpuBackend()
// offers no backend (no CUDA device, or a build without the CUDA backend).
//
// NaNs: the device's arithmetic gives one canonical NaN (0x7fffffff) for every
// NaN result, while the host's x86 arithmetic passes an operand's NaN on with
// its sign and makes a negative NaN out of inf - inf or 0 * inf. The kernel
// bodies decide where a NaN appears, not which NaN it is, so on fields that
// hold infinities or NaNs a NaN must meet a NaN and every other value must
// match bit for bit. On finite fields every value, NaN or not, must match bit
// for bit with its sign.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "DeviceRuns.h"
#include "DeviceRuntime.h"
#include "GpuBackend.h"
#include "TestSupport.h"

using namespace fluidrt;
using testsupport::bitsOf;
using testsupport::sameValue;

namespace {

// --- fields ------------------------------------------------------------------------

// A buffer's cells as stored: float or int bit patterns, 4 bytes each.
struct Buffer {
    std::string name;
    bool isFloat;
    std::vector<std::uint32_t> bits;
};
using Buffers = std::vector<Buffer>;

enum class Values { Finite, Wild };
const char* valuesName(Values values) { return values == Values::Finite ? "finite" : "wild"; }

std::uint32_t floatBits(float f) { return bitsOf(f); }

// Finite values in [-scale, scale]; wild ones also hold infinities, quiet and
// signalling NaNs of both signs, signed zeros, subnormals and huge values.
std::uint32_t randomFloatBits(std::mt19937& rng, Values values, float scale) {
    std::uniform_real_distribution<float> uniform(-scale, scale);
    if (values == Values::Finite) return floatBits(uniform(rng));
    const std::uint32_t sign = (rng() & 1u) << 31;
    switch (rng() % 40) {
        case 0: return 0x7f800000u | sign;                       // infinity
        case 1: return 0x7fc00000u | sign;                       // quiet NaN
        case 2: return 0x7fc00000u | sign | (rng() & 0x3fffffu);  // quiet NaN with a payload
        case 3: return 0x7f800000u | sign | (1u + rng() % 0x3fffffu);  // signalling NaN
        case 4: return sign;                                     // signed zero
        case 5: return sign | (1u + rng() % 0x7fffffu);          // subnormal
        case 6: return sign | (0x70000000u + rng() % 0x0f000000u);  // about 1e30 to 3e38
        default: return floatBits(uniform(rng));
    }
}

Buffer floatBuffer(const std::string& name, int cells, std::mt19937& rng, Values values, float scale) {
    Buffer b{name, true, std::vector<std::uint32_t>(cells)};
    for (std::uint32_t& cell : b.bits) cell = randomFloatBits(rng, values, scale);
    return b;
}

// A mask with about `percent` solid cells of assorted nonzero values.
Buffer maskBuffer(int cells, std::mt19937& rng, unsigned percent) {
    static const int solid[] = {1, 1, 1, -1, 7, INT_MIN, INT_MAX};
    Buffer b{"boundary", false, std::vector<std::uint32_t>(cells, 0u)};
    for (std::uint32_t& cell : b.bits)
        if (rng() % 100 < percent) cell = static_cast<std::uint32_t>(solid[rng() % (sizeof solid / sizeof solid[0])]);
    return b;
}

float floatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool sameCell(bool isFloat, std::uint32_t host, std::uint32_t gpu, Values values) {
    if (!isFloat) return host == gpu;
    const float h = floatOf(host), g = floatOf(gpu);
    if (values == Values::Wild && h != h && g != g) return true;
    return sameValue(h, g);
}

// Every cell of every buffer must agree; reports the first differing cell.
void expectSameBuffers(const Buffers& host, const Buffers& gpu, int n, Values values, const std::string& what) {
    ASSERT_EQ(host.size(), gpu.size());
    for (std::size_t k = 0; k < host.size(); ++k) {
        ASSERT_EQ(host[k].bits.size(), gpu[k].bits.size());
        long differing = 0;
        std::size_t first = 0;
        for (std::size_t t = 0; t < host[k].bits.size(); ++t) {
            if (sameCell(host[k].isFloat, host[k].bits[t], gpu[k].bits[t], values)) continue;
            if (differing++ == 0) first = t;
        }
        if (differing == 0) continue;
        char detail[160];
        std::snprintf(detail, sizeof detail, "first at (%d, %d): host %08x (%g), gpu %08x (%g)",
                      static_cast<int>(first % (n + 2)), static_cast<int>(first / (n + 2)), host[k].bits[first],
                      static_cast<double>(floatOf(host[k].bits[first])), gpu[k].bits[first],
                      static_cast<double>(floatOf(gpu[k].bits[first])));
        ADD_FAILURE() << what << ": " << host[k].name << " differs in " << differing << " cells, " << detail;
    }
}

bool anyChanged(const Buffers& before, const Buffers& after) {
    for (std::size_t k = 0; k < before.size(); ++k)
        if (before[k].bits != after[k].bits) return true;
    return false;
}

// --- running a launch on a backend ----------------------------------------------

cudaError_t lastLaunchStatus = cudaSuccess;
long launches = 0, failedLaunches = 0;
void recordLaunches(Op op, cudaError_t status) {
    if (op != Op::Launch) return;
    lastLaunchStatus = status;
    ++launches;
    failedLaunches += status != cudaSuccess;
}

using Launch = std::function<void(const std::vector<DevicePtr>& handles)>;

struct Case {
    std::string label;
    int n;
    dim3 grid, block;
    Buffers buffers;
    Launch launch;
};

// Uploads the buffers on the backend, configures the launch and runs it,
// downloads every buffer and frees them. The launch's status goes to *status.
Buffers runOn(const Backend* backend, const Case& c, cudaError_t* status) {
    setBackend(backend);
    Buffers out = c.buffers;
    std::vector<DevicePtr> handles(c.buffers.size());
    for (std::size_t k = 0; k < handles.size(); ++k) {
        const std::size_t bytes = 4 * c.buffers[k].bits.size();
        EXPECT_EQ(cudaMalloc(&handles[k], bytes), cudaSuccess) << c.label;
        EXPECT_EQ(cudaMemcpy(handles[k], c.buffers[k].bits.data(), bytes, cudaMemcpyHostToDevice), cudaSuccess)
            << c.label;
    }
    lastLaunchStatus = -1;
    setOperationObserver(recordLaunches);
    EXPECT_EQ(cudaConfigureCall(c.grid, c.block), cudaSuccess) << c.label;
    c.launch(handles);
    setOperationObserver(nullptr);
    *status = lastLaunchStatus;
    for (std::size_t k = 0; k < handles.size(); ++k) {
        EXPECT_EQ(cudaMemcpy(out[k].bits.data(), handles[k], 4 * out[k].bits.size(), cudaMemcpyDeviceToHost),
                  cudaSuccess)
            << c.label;
        EXPECT_EQ(cudaFree(handles[k]), cudaSuccess) << c.label;
    }
    setBackend(nullptr);
    return out;
}

enum class Kernel { AddSource, Diffuse, Advect, ProjectStep1, ProjectStep2, ProjectStep3 };
constexpr Kernel allKernels[] = {Kernel::AddSource,    Kernel::Diffuse,      Kernel::Advect,
                                 Kernel::ProjectStep1, Kernel::ProjectStep2, Kernel::ProjectStep3};

const char* kernelName(Kernel k) {
    switch (k) {
        case Kernel::AddSource: return "Add_Source";
        case Kernel::Diffuse: return "Diffuse";
        case Kernel::Advect: return "Advect";
        case Kernel::ProjectStep1: return "ProjectStep1";
        case Kernel::ProjectStep2: return "ProjectStep2";
        case Kernel::ProjectStep3: return "ProjectStep3";
    }
    return "?";
}

// Random buffers for one kernel on an n x n grid and the launch that runs it.
// The seed also picks the time step, the diffusion rate and the mask density.
Case makeCase(Kernel kernel, int n, dim3 grid, dim3 block, Values values, unsigned seed, int b) {
    std::mt19937 rng(seed * 7919u + static_cast<unsigned>(kernel) * 31u + static_cast<unsigned>(b));
    const int cells = (n + 2) * (n + 2);
    const float dt = seed % 3 == 0 ? 0.2f : seed % 3 == 1 ? 0.05f : 1.75f;
    const float diff = seed % 2 == 0 ? 0.5f : 1e-4f;
    const unsigned solidPercent = seed % 2 == 0 ? 5 : 40;
    Case c;
    c.n = n;
    c.grid = grid;
    c.block = block;
    c.label = std::string(kernelName(kernel)) + " N=" + std::to_string(n) + " b=" + std::to_string(b) + " " +
              valuesName(values) + " seed " + std::to_string(seed) + " grid " + std::to_string(grid.x) + "x" +
              std::to_string(grid.y) + "x" + std::to_string(grid.z) + " block " + std::to_string(block.x) + "x" +
              std::to_string(block.y) + "x" + std::to_string(block.z);
    auto field = [&](const char* name, float scale) { return floatBuffer(name, cells, rng, values, scale); };
    switch (kernel) {
        case Kernel::AddSource:
            c.buffers = {field("x", 4.0f), field("s", 4.0f)};
            c.launch = [=](const std::vector<DevicePtr>& h) { gpuKernelAdd_Source(n, h[0], h[1], dt); };
            break;
        case Kernel::Diffuse:
            c.buffers = {field("x", 4.0f), field("x0", 4.0f), maskBuffer(cells, rng, solidPercent)};
            c.launch = [=](const std::vector<DevicePtr>& h) { gpuKernelDiffuse(n, b, h[0], h[1], diff, dt, h[2]); };
            break;
        case Kernel::Advect:
            c.buffers = {field("d", 4.0f), field("d0", 4.0f), field("u", 0.5f), field("v", 0.5f),
                         maskBuffer(cells, rng, solidPercent)};
            c.launch = [=](const std::vector<DevicePtr>& h) {
                gpuKernelAdvect(n, b, h[0], h[1], h[2], h[3], dt, h[4]);
            };
            break;
        case Kernel::ProjectStep1:
            c.buffers = {field("u", 2.0f), field("v", 2.0f), field("p", 2.0f), field("div", 2.0f),
                         maskBuffer(cells, rng, solidPercent)};
            c.launch = [=](const std::vector<DevicePtr>& h) { gpuKernelProjectStep1(n, h[0], h[1], h[2], h[3], h[4]); };
            break;
        case Kernel::ProjectStep2:
            c.buffers = {field("p", 2.0f), field("div", 0.1f), maskBuffer(cells, rng, solidPercent)};
            c.launch = [=](const std::vector<DevicePtr>& h) { gpuKernelProjectStep2(n, h[0], h[1], h[2]); };
            break;
        case Kernel::ProjectStep3:
            c.buffers = {field("u", 2.0f), field("v", 2.0f), field("p", 2.0f), maskBuffer(cells, rng, solidPercent)};
            c.launch = [=](const std::vector<DevicePtr>& h) { gpuKernelProjectStep3(n, h[0], h[1], h[2], h[3]); };
            break;
    }
    return c;
}

bool takesB(Kernel k) { return k == Kernel::Diffuse || k == Kernel::Advect; }

class GpuBackendTest : public testing::Test {
  protected:
    void SetUp() override {
        gpu = gpuBackend();
        if (!gpu) GTEST_SKIP() << "no CUDA device";
        savedKernels = &activeHostKernels();
        setActiveHostKernels(&referenceKernels());  // the GPU is held to the reference
    }
    void TearDown() override {
        setBackend(nullptr);
        setOperationObserver(nullptr);
        clearFaults();
        if (savedKernels) setActiveHostKernels(savedKernels);
    }

    // Runs the case on both backends; both launches must succeed, the host's
    // must change something, and the GPU's buffers must equal the host's.
    void expectSameOnBothBackends(const Case& c, Values values) {
        cudaError_t hostStatus = -1, gpuStatus = -1;
        const Buffers host = runOn(nullptr, c, &hostStatus);
        const Buffers device = runOn(gpu, c, &gpuStatus);
        ASSERT_EQ(hostStatus, cudaSuccess) << c.label;
        ASSERT_EQ(gpuStatus, cudaSuccess) << c.label;
        EXPECT_TRUE(anyChanged(c.buffers, host)) << c.label << ": the launch changed nothing";
        expectSameBuffers(host, device, c.n, values, c.label);
    }

    void expectEachKernelSame(int n, dim3 grid, dim3 block, const std::vector<unsigned>& seeds) {
        for (Kernel k : allKernels)
            for (Values values : {Values::Finite, Values::Wild})
                for (unsigned seed : seeds)
                    for (int b = 0; b <= (takesB(k) ? 2 : 0); ++b)
                        expectSameOnBothBackends(makeCase(k, n, grid, block, values, seed, b), values);
    }

    const Backend* gpu = nullptr;
    const KernelSet* savedKernels = nullptr;
};

// --- whole steps ------------------------------------------------------------------

struct FieldState {
    std::vector<float> u, v, uPrev, vPrev, dens, densPrev;
    std::vector<int> mask;
};

FieldState captureFields() {
    auto f = [](const float* p) { return std::vector<float>(p, p + cellsPerField); };
    return {f(u), f(v), f(u_prev), f(v_prev), f(dens), f(dens_prev),
            std::vector<int>(boundary, boundary + cellsPerField)};
}

void restoreFields(const FieldState& s) {
    std::memcpy(u, s.u.data(), bytesPerField);
    std::memcpy(v, s.v.data(), bytesPerField);
    std::memcpy(u_prev, s.uPrev.data(), bytesPerField);
    std::memcpy(v_prev, s.vPrev.data(), bytesPerField);
    std::memcpy(dens, s.dens.data(), bytesPerField);
    std::memcpy(dens_prev, s.densPrev.data(), bytesPerField);
    std::memcpy(boundary, s.mask.data(), bytesPerField);
}

Buffers asBuffers(const FieldState& s) {
    auto f = [](const char* name, const std::vector<float>& x) {
        Buffer b{name, true, std::vector<std::uint32_t>(x.size())};
        std::memcpy(b.bits.data(), x.data(), 4 * x.size());
        return b;
    };
    Buffer mask{"boundary", false, std::vector<std::uint32_t>(s.mask.size())};
    std::memcpy(mask.bits.data(), s.mask.data(), 4 * s.mask.size());
    return {f("u", s.u), f("v", s.v), f("u_prev", s.uPrev), f("v_prev", s.vPrev), f("dens", s.dens),
            f("dens_prev", s.densPrev), mask};
}

// A scene: density and velocity everywhere, sources for all three, walls.
void fillScene(unsigned seed, Values values) {
    std::mt19937 rng(seed);
    auto fill = [&](float* x, float scale) {
        for (int k = 0; k < cellsPerField; ++k) x[k] = floatOf(randomFloatBits(rng, values, scale));
    };
    fill(u, 0.05f);
    fill(v, 0.05f);
    fill(u_prev, 0.5f);
    fill(v_prev, 0.5f);
    fill(dens, 3.0f);
    fill(dens_prev, 5.0f);
    const Buffer mask = maskBuffer(cellsPerField, rng, seed % 2 == 0 ? 3 : 25);
    std::memcpy(boundary, mask.bits.data(), bytesPerField);
}

struct StepParameters {
    float dt, diff, viscosity;
};

}  // namespace

TEST_F(GpuBackendTest, EachKernelMatchesTheHostBitForBit) {
    expectEachKernelSame(N, dim3(512), dim3(32), {1, 2, 3, 4});
}

// Other shapes with one thread per cell: two- and three-dimensional grids and
// blocks, a 1 x 1 interior, and a grid too large for all its blocks to be
// resident at once (the kernel then runs with fewer threads, several cells each).
TEST_F(GpuBackendTest, OtherGridsAndLaunchShapesMatchTheHost) {
    expectEachKernelSame(N, dim3(64, 2), dim3(16, 8), {5});
    expectEachKernelSame(N, dim3(4, 2, 2), dim3(8, 8, 16), {6});
    expectEachKernelSame(1, dim3(9), dim3(1), {7, 8});
    expectEachKernelSame(14, dim3(8), dim3(32), {9});
    expectEachKernelSame(1022, dim3(32768), dim3(32), {10});
}

TEST_F(GpuBackendTest, WholeStepsMatchTheHostBitForBit) {
    const FieldState saved = captureFields();
    const StepParameters savedParameters{dt, diff, viscosity};
    const StepParameters parameterSets[] = {{0.2f, 0.5f, 0.0f}, {0.1f, 1e-4f, 2e-3f}};
    constexpr int steps = 4;
    for (Values values : {Values::Finite, Values::Wild}) {
        for (unsigned seed : {11u, 12u}) {
            for (const StepParameters& p : parameterSets) {
                dt = p.dt;
                diff = p.diff;
                viscosity = p.viscosity;
                const std::string label = std::string(valuesName(values)) + " scene " + std::to_string(seed) +
                                          ", dt " + std::to_string(dt) + ", diff " + std::to_string(diff) +
                                          ", viscosity " + std::to_string(viscosity);
                fillScene(seed, values);
                const FieldState start = captureFields();

                setBackend(nullptr);
                for (int s = 0; s < steps; ++s) gpuCalcFluid();
                const FieldState host = captureFields();

                restoreFields(start);
                launches = failedLaunches = 0;
                setOperationObserver(recordLaunches);
                setBackend(gpu);
                for (int s = 0; s < steps; ++s) gpuCalcFluid();
                setBackend(nullptr);
                setOperationObserver(nullptr);
                const FieldState device = captureFields();

                EXPECT_EQ(launches, 15 * steps) << label;
                EXPECT_EQ(failedLaunches, 0) << label;
                EXPECT_TRUE(anyChanged(asBuffers(start), asBuffers(host))) << label;
                expectSameBuffers(asBuffers(host), asBuffers(device), N, values, label);
            }
        }
    }
    dt = savedParameters.dt;
    diff = savedParameters.diff;
    viscosity = savedParameters.viscosity;
    restoreFields(saved);
}

TEST_F(GpuBackendTest, BuffersRoundTripAndRefuseWhatCannotWork) {
    setBackend(gpu);
    // An allocation that cannot succeed is refused and names no buffer.
    DevicePtr huge;
    EXPECT_NE(cudaMalloc(&huge, std::numeric_limits<std::size_t>::max() / 2), cudaSuccess);
    EXPECT_EQ(huge.handle, 0u);

    // The device stays usable: a new buffer starts zeroed and round-trips.
    DevicePtr a;
    ASSERT_EQ(cudaMalloc(&a, 16), cudaSuccess);
    EXPECT_NE(a.handle, 0u);
    float out[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    ASSERT_EQ(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    for (float f : out) EXPECT_EQ(bitsOf(f), 0u);
    const float in[4] = {1.0f, -2.0f, 3.5f, -0.0f};
    EXPECT_EQ(cudaMemcpy(a, in, sizeof in, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(bitsOf(out[k]), bitsOf(in[k]));

    // More bytes than the buffer holds are refused both ways and change nothing.
    const float big[5] = {9.0f, 9.0f, 9.0f, 9.0f, 9.0f};
    float bigOut[5] = {};
    EXPECT_NE(cudaMemcpy(a, big, sizeof big, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_NE(cudaMemcpy(bigOut, a, sizeof bigOut, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(bitsOf(out[k]), bitsOf(in[k]));

    // Handles that name no buffer.
    EXPECT_NE(cudaMemcpy(out, DevicePtr{0}, 4, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_NE(cudaMemcpy(out, DevicePtr{0xFFFFFFFFu}, 4, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(cudaFree(DevicePtr{0}), cudaSuccess);
    EXPECT_EQ(cudaFree(a), cudaSuccess);
    EXPECT_NE(cudaFree(a), cudaSuccess);
    EXPECT_NE(cudaMemcpy(out, a, 4, cudaMemcpyDeviceToHost), cudaSuccess);

    // Device selection goes to CUDA and its refusal comes back.
    EXPECT_NE(cudaSetDevice(-1), cudaSuccess);
    EXPECT_NE(cudaSetDevice(1 << 20), cudaSuccess);
    EXPECT_EQ(cudaSetDevice(0), cudaSuccess);
}

TEST_F(GpuBackendTest, RefusedLaunchesWriteNothing) {
    setBackend(gpu);
    std::mt19937 rng(99);
    const Buffer xInit = floatBuffer("x", cellsPerField, rng, Values::Finite, 4.0f);
    const Buffer maskInit = maskBuffer(cellsPerField, rng, 10);
    DevicePtr x, y, z, mask, small;
    ASSERT_EQ(cudaMalloc(&x, bytesPerField), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&y, bytesPerField), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&z, bytesPerField), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&mask, bytesPerField), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&small, bytesPerField - 4), cudaSuccess);
    for (DevicePtr p : {x, y, z})
        ASSERT_EQ(cudaMemcpy(p, xInit.bits.data(), bytesPerField, cudaMemcpyHostToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(mask, maskInit.bits.data(), bytesPerField, cudaMemcpyHostToDevice), cudaSuccess);
    DevicePtr freed;
    ASSERT_EQ(cudaMalloc(&freed, bytesPerField), cudaSuccess);
    ASSERT_EQ(cudaFree(freed), cudaSuccess);

    auto launchStatus = [](dim3 grid, dim3 block, const std::function<void()>& launch) {
        lastLaunchStatus = -1;
        setOperationObserver(recordLaunches);
        if (cudaConfigureCall(grid, block) == cudaSuccess) launch();
        setOperationObserver(nullptr);
        return lastLaunchStatus;
    };
    const dim3 grid(512), block(32);
    const DevicePtr none{0};

    // Missing, freed and too small buffers.
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelAdd_Source(N, x, none, 0.2f); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelAdd_Source(N, x, freed, 0.2f); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelDiffuse(N, 0, x, small, 0.5f, 0.2f, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelProjectStep2(N, x, y, small); }), cudaSuccess);
    // Not one thread per cell, or a grid size out of range.
    EXPECT_NE(launchStatus(dim3(511), block, [&] { gpuKernelAdd_Source(N, x, y, 0.2f); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelAdvect(N - 1, 0, x, y, z, z, 0.2f, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelProjectStep3(0, x, y, z, mask); }), cudaSuccess);
    // A written buffer that is also read at other cells (the host refuses
    // these too, by the same decoder).
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelDiffuse(N, 0, x, x, 0.5f, 0.2f, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelAdvect(N, 0, x, y, x, z, 0.2f, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelProjectStep1(N, x, y, x, z, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelProjectStep2(N, mask, x, mask); }), cudaSuccess);
    EXPECT_NE(launchStatus(grid, block, [&] { gpuKernelProjectStep3(N, x, y, y, mask); }), cudaSuccess);
    // A row without a device run, and a short argument block.
    LaunchShape shape;
    shape.grid = grid;
    shape.block = block;
    ArgumentBlock args{};
    const int n = N;
    std::memcpy(args.bytes, &n, sizeof n);
    std::memcpy(args.bytes + 4, &x, sizeof x);
    args.used = 8;
    EXPECT_NE(gpu->launch(KernelRow{"gpuKernelNoSuchThing", nullptr, nullptr}, shape, args), cudaSuccess);
    EXPECT_NE(gpu->launch(KernelRow{"gpuKernelAdd_Source", nullptr, deviceRuns.addSource}, shape, args), cudaSuccess);

    // None of them touched a buffer.
    std::vector<std::uint32_t> after(cellsPerField);
    for (DevicePtr p : {x, y, z}) {
        ASSERT_EQ(cudaMemcpy(after.data(), p, bytesPerField, cudaMemcpyDeviceToHost), cudaSuccess);
        EXPECT_EQ(after, xInit.bits);
    }
    ASSERT_EQ(cudaMemcpy(after.data(), mask, bytesPerField, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(after, maskInit.bits);

    // A proper launch still runs afterwards.
    EXPECT_EQ(launchStatus(grid, block, [&] { gpuKernelAdd_Source(N, x, y, 0.5f); }), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(after.data(), x, bytesPerField, cudaMemcpyDeviceToHost), cudaSuccess);
    for (int t = 0; t < cellsPerField; ++t) {
        const float f = floatOf(xInit.bits[t]);
        ASSERT_EQ(after[t], floatBits(f + f * 0.5f)) << t;
    }
    for (DevicePtr p : {x, y, z, mask, small}) EXPECT_EQ(cudaFree(p), cudaSuccess);
}
