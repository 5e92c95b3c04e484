// GpuComparison.cpp - see GpuComparison.h.
#include "GpuComparison.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "../StepScenario.h"
#include "Fluid.h"
#include "Kernels.h"
#include "LaunchArguments.h"

namespace gpucompare {

using namespace fluidrt;

namespace {

// --- fields --------------------------------------------------------------------

// A buffer's cells as stored: float or int bit patterns, 4 bytes each.
struct Buffer {
    std::string name;
    bool isFloat;
    std::vector<std::uint32_t> bits;
};
using Buffers = std::vector<Buffer>;

const char* valuesName(Values values) { return values == Values::Finite ? "finite" : "wild"; }

std::uint32_t floatBits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
float floatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Finite values in [-scale, scale]; wild ones also hold infinities, quiet and
// signalling NaNs of both signs, signed zeros, subnormals and huge values.
std::uint32_t randomFloatBits(std::mt19937& rng, Values values, float scale) {
    std::uniform_real_distribution<float> uniform(-scale, scale);
    if (values == Values::Finite) return floatBits(uniform(rng));
    const std::uint32_t sign = (rng() & 1u) << 31;
    switch (rng() % 40) {
        case 0: return 0x7f800000u | sign;                             // infinity
        case 1: return 0x7fc00000u | sign;                             // quiet NaN
        case 2: return 0x7fc00000u | sign | (rng() & 0x3fffffu);       // quiet NaN with a payload
        case 3: return 0x7f800000u | sign | (1u + rng() % 0x3fffffu);  // signalling NaN
        case 4: return sign;                                           // signed zero
        case 5: return sign | (1u + rng() % 0x7fffffu);                // subnormal
        case 6: return sign | (0x70000000u + rng() % 0x0f000000u);     // about 1e30 to 3e38
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

bool sameCell(bool isFloat, std::uint32_t host, std::uint32_t gpu, Values values) {
    if (!isFloat || host == gpu) return host == gpu;
    const float h = floatOf(host), g = floatOf(gpu);
    if (h != h && g != g) return values == Values::Wild || std::signbit(h) == std::signbit(g);
    return false;
}

// Every cell of every buffer must agree; a fault names the first differing cell.
void compareBuffers(const Buffers& host, const Buffers& gpu, int n, Values values, const std::string& what,
                    Report& report) {
    if (host.size() != gpu.size()) {
        report.faults.push_back(what + ": the backends gave different numbers of buffers");
        return;
    }
    for (std::size_t k = 0; k < host.size(); ++k) {
        if (host[k].bits.size() != gpu[k].bits.size()) {
            report.faults.push_back(what + ": " + host[k].name + " has different sizes");
            continue;
        }
        long differing = 0;
        std::size_t first = 0;
        for (std::size_t t = 0; t < host[k].bits.size(); ++t) {
            if (sameCell(host[k].isFloat, host[k].bits[t], gpu[k].bits[t], values)) continue;
            if (differing++ == 0) first = t;
        }
        report.cells += static_cast<long>(host[k].bits.size());
        if (differing == 0) continue;
        char detail[200];
        std::snprintf(detail, sizeof detail, " differs in %ld cells, first at (%d, %d): host %08x (%g), gpu %08x (%g)",
                      differing, static_cast<int>(first % (n + 2)), static_cast<int>(first / (n + 2)),
                      host[k].bits[first], static_cast<double>(floatOf(host[k].bits[first])), gpu[k].bits[first],
                      static_cast<double>(floatOf(gpu[k].bits[first])));
        report.faults.push_back(what + ": " + host[k].name + detail);
    }
}

bool anyChanged(const Buffers& before, const Buffers& after) {
    for (std::size_t k = 0; k < before.size(); ++k)
        if (before[k].bits != after[k].bits) return true;
    return false;
}

// --- running a launch on a backend ------------------------------------------------

cudaError_t lastLaunchStatus = cudaSuccess;
long launches = 0, failedLaunches = 0;
void recordLaunches(Op op, cudaError_t status) {
    if (op != Op::Launch) return;
    lastLaunchStatus = status;
    ++launches;
    failedLaunches += status != cudaSuccess;
}

// The status of one configured launch on the current backend (-1: none ran).
cudaError_t launchStatus(dim3 grid, dim3 block, const std::function<void()>& launch) {
    lastLaunchStatus = -1;
    setOperationObserver(recordLaunches);
    if (cudaConfigureCall(grid, block) == cudaSuccess) launch();
    setOperationObserver(nullptr);
    return lastLaunchStatus;
}

using Launch = std::function<void(const std::vector<DevicePtr>& handles)>;

struct Case {
    std::string label;
    int n;
    dim3 grid, block;
    Buffers buffers;
    Launch launch;
};

// Uploads the buffers on the backend, runs the launch, downloads every buffer
// and frees them. The launch's status goes to *status; a failed buffer
// operation is a fault.
Buffers runOn(const Backend* backend, const Case& c, cudaError_t* status, Report& report,
              const KernelSet* hostKernels = nullptr) {
    const KernelSet& savedKernels = activeHostKernels();
    if (hostKernels) setActiveHostKernels(hostKernels);
    setBackend(backend);
    Buffers out = c.buffers;
    std::vector<DevicePtr> handles(c.buffers.size());
    bool ok = true;
    for (std::size_t k = 0; k < handles.size(); ++k) {
        const std::size_t bytes = 4 * c.buffers[k].bits.size();
        ok = ok && cudaMalloc(&handles[k], bytes) == cudaSuccess &&
             cudaMemcpy(handles[k], c.buffers[k].bits.data(), bytes, cudaMemcpyHostToDevice) == cudaSuccess;
    }
    *status = launchStatus(c.grid, c.block, [&] { c.launch(handles); });
    for (std::size_t k = 0; k < handles.size(); ++k) {
        ok = ok &&
             cudaMemcpy(out[k].bits.data(), handles[k], 4 * out[k].bits.size(), cudaMemcpyDeviceToHost) == cudaSuccess;
        ok = cudaFree(handles[k]) == cudaSuccess && ok;
    }
    if (!ok)
        report.faults.push_back(c.label + ": a buffer could not be allocated, copied or freed on " +
                                currentBackend().name);
    setBackend(nullptr);
    setActiveHostKernels(&savedKernels);
    return out;
}

using Kernel = launcharguments::KernelId;
constexpr Kernel allKernels[] = {Kernel::AddSource,    Kernel::Diffuse,      Kernel::Advect,
                                 Kernel::ProjectStep1, Kernel::ProjectStep2, Kernel::ProjectStep3};

bool takesB(Kernel k) { return k == Kernel::Diffuse || k == Kernel::Advect; }

std::string shapeName(dim3 d) { return std::to_string(d.x) + "x" + std::to_string(d.y) + "x" + std::to_string(d.z); }

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
              valuesName(values) + " seed " + std::to_string(seed) + " grid " + shapeName(grid) + " block " +
              shapeName(block);
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

// Runs the case on the host backend and on the other one (with otherKernels
// where that is the host backend too); both launches must succeed, the
// host's must change something, and the other's buffers must equal the host's.
void compareCase(const Backend* gpu, const Case& c, Values values, Report& report,
                 const KernelSet* otherKernels = nullptr) {
    cudaError_t hostStatus = -1, gpuStatus = -1;
    const Buffers host = runOn(nullptr, c, &hostStatus, report);
    const Buffers device = runOn(gpu, c, &gpuStatus, report, otherKernels);
    ++report.cases;
    if (hostStatus != cudaSuccess || gpuStatus != cudaSuccess) {
        report.faults.push_back(c.label + ": launch status " + std::to_string(hostStatus) + " on the host, " +
                                std::to_string(gpuStatus) + " on the GPU");
        return;
    }
    if (!anyChanged(c.buffers, host)) report.faults.push_back(c.label + ": the launch changed nothing");
    compareBuffers(host, device, c.n, values, c.label, report);
}

// --- whole steps ----------------------------------------------------------------------

float* const liveFields[6] = {u, v, u_prev, v_prev, dens, dens_prev};
const char* const fieldNames[6] = {"u", "v", "u_prev", "v_prev", "dens", "dens_prev"};

// The seven host fields as buffers.
Buffers captureFields() {
    Buffers out;
    for (int f = 0; f < 6; ++f) {
        Buffer b{fieldNames[f], true, std::vector<std::uint32_t>(cellsPerField)};
        std::memcpy(b.bits.data(), liveFields[f], bytesPerField);
        out.push_back(std::move(b));
    }
    Buffer mask{"boundary", false, std::vector<std::uint32_t>(cellsPerField)};
    std::memcpy(mask.bits.data(), boundary, bytesPerField);
    out.push_back(std::move(mask));
    return out;
}

void restoreFields(const Buffers& s) {
    for (int f = 0; f < 6; ++f) std::memcpy(liveFields[f], s[f].bits.data(), bytesPerField);
    std::memcpy(boundary, s[6].bits.data(), bytesPerField);
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

// Runs `steps` steps on the backend with every launch counted; between steps
// (before each, from the first) calls betweenSteps. Returns the fields after
// each step.
std::vector<Buffers> stepOn(const Backend* backend, int steps, const std::function<void()>& betweenSteps,
                            long* launchCount, long* failed) {
    std::vector<Buffers> after;
    launches = failedLaunches = 0;
    setOperationObserver(recordLaunches);
    setBackend(backend);
    for (int s = 0; s < steps; ++s) {
        betweenSteps();
        gpuCalcFluid();
        after.push_back(captureFields());
    }
    setBackend(nullptr);
    setOperationObserver(nullptr);
    *launchCount = launches;
    *failed = failedLaunches;
    return after;
}

// Both backends from the same start, `steps` steps each; compares the fields
// after every step (up to the first step that differs) and the launch counts.
void compareSteps(const Backend* gpu, const Buffers& start, int steps, const std::function<void()>& betweenSteps,
                  const std::function<void()>& rewind, Values values, const std::string& label, Report& report) {
    const KernelSet& saved = activeHostKernels();
    setActiveHostKernels(&referenceKernels());
    long hostLaunches = 0, hostFailed = 0, gpuLaunches = 0, gpuFailed = 0;
    restoreFields(start);
    rewind();
    const std::vector<Buffers> host = stepOn(nullptr, steps, betweenSteps, &hostLaunches, &hostFailed);
    restoreFields(start);
    rewind();
    const std::vector<Buffers> device = stepOn(gpu, steps, betweenSteps, &gpuLaunches, &gpuFailed);
    setActiveHostKernels(&saved);
    ++report.cases;
    if (gpuLaunches != 15L * steps || gpuFailed != 0 || hostFailed != 0)
        report.faults.push_back(label + ": " + std::to_string(gpuLaunches) + " launches on the GPU (" +
                                std::to_string(gpuFailed) + " failed), " + std::to_string(hostFailed) +
                                " failed on the host; expected " + std::to_string(15L * steps) + ", none failed");
    if (host.empty() || !anyChanged(start, host.back())) report.faults.push_back(label + ": the steps changed nothing");
    for (int s = 0; s < steps; ++s) {
        const std::size_t before = report.faults.size();
        compareBuffers(host[s], device[s], N, values, label + ", step " + std::to_string(s + 1), report);
        ++report.steps;
        if (report.faults.size() != before) break;  // later steps only repeat the first difference
    }
    restoreFields(start);
}

}  // namespace

void compareEachKernel(const Backend* gpu, int n, dim3 grid, dim3 block, const std::vector<unsigned>& seeds,
                       Report& report) {
    const KernelSet& saved = activeHostKernels();
    setActiveHostKernels(&referenceKernels());  // the GPU is held to the reference
    for (Kernel k : allKernels)
        for (Values values : {Values::Finite, Values::Wild})
            for (unsigned seed : seeds)
                for (int b = 0; b <= (takesB(k) ? 2 : 0); ++b)
                    compareCase(gpu, makeCase(k, n, grid, block, values, seed, b), values, report);
    setActiveHostKernels(&saved);
}

void compareOtherShapes(const Backend* gpu, bool onlyN126, Report& report) {
    compareEachKernel(gpu, N, dim3(64, 2), dim3(16, 8), {5}, report);
    compareEachKernel(gpu, N, dim3(4, 2, 2), dim3(8, 8, 16), {6}, report);
    if (onlyN126) return;
    compareEachKernel(gpu, 1, dim3(9), dim3(1), {7, 8}, report);
    compareEachKernel(gpu, 14, dim3(8), dim3(32), {9}, report);
    compareEachKernel(gpu, 1022, dim3(32768), dim3(32), {10}, report);
}

void compareRandomScenes(const Backend* gpu, int stepsPerScene, Report& report) {
    const Buffers saved = captureFields();
    const StepParameters savedParameters{dt, diff, viscosity};
    const StepParameters parameterSets[] = {{0.2f, 0.5f, 0.0f}, {0.1f, 1e-4f, 2e-3f}};
    for (Values values : {Values::Finite, Values::Wild})
        for (unsigned seed : {11u, 12u})
            for (const StepParameters& p : parameterSets) {
                dt = p.dt;
                diff = p.diff;
                viscosity = p.viscosity;
                const std::string label = std::string(valuesName(values)) + " scene " + std::to_string(seed) + ", dt " +
                                          std::to_string(dt) + ", diff " + std::to_string(diff) + ", viscosity " +
                                          std::to_string(viscosity);
                fillScene(seed, values);
                compareSteps(
                    gpu, captureFields(), stepsPerScene, [] {}, [] {}, values, label, report);
            }
    dt = savedParameters.dt;
    diff = savedParameters.diff;
    viscosity = savedParameters.viscosity;
    restoreFields(saved);
}

void compareScenario(const Backend* gpu, unsigned seed, int steps, Report& report) {
    const Buffers saved = captureFields();
    scenario::Generator g{seed};
    scenario::start(g);
    const Buffers start = captureFields();
    const scenario::Generator afterStart = g;
    compareSteps(
        gpu, start, steps, [&] { scenario::stir(g); }, [&] { g = afterStart; }, Values::Finite,
        "scenario " + std::to_string(seed), report);
    restoreFields(saved);
}

void compareSharedBuffers(const Backend* other, const KernelSet* otherKernels, const std::vector<unsigned>& seeds,
                          Report& report) {
    const KernelSet& saved = activeHostKernels();
    setActiveHostKernels(&referenceKernels());
    for (const launcharguments::SharedBufferRule& rule : launcharguments::sharedBufferRules)
        for (int b = 0; b <= (takesB(rule.kernel) ? 2 : 0); ++b)
            for (Values values : {Values::Finite, Values::Wild})
                for (unsigned seed : seeds) {
                    Case c = makeCase(rule.kernel, N, dim3(launchGroups), dim3(threadsPerGroup), values, seed, b);
                    const int first = rule.first, second = rule.second;
                    c.label += ", " + c.buffers[first].name + " as " + c.buffers[second].name;
                    const Launch distinct = c.launch;
                    c.launch = [=](const std::vector<DevicePtr>& h) {
                        std::vector<DevicePtr> shared = h;
                        shared[second] = shared[first];
                        distinct(shared);
                    };
                    if (!launcharguments::refuses(rule, b)) {
                        compareCase(other, c, values, report, otherKernels);
                        continue;
                    }
                    // Refused on both, writing nothing.
                    ++report.cases;
                    for (const Backend* backend : {static_cast<const Backend*>(nullptr), other}) {
                        cudaError_t status = -1;
                        const Buffers after = runOn(backend, c, &status, report, otherKernels);
                        const std::string name = backend ? backend->name : "host";
                        if (status != cudaErrorInvalidValue)
                            report.faults.push_back(c.label + ": not refused on " + name + " (status " +
                                                    std::to_string(status) + ")");
                        if (anyChanged(c.buffers, after))
                            report.faults.push_back(c.label + ": the refused launch wrote on " + name);
                    }
                }
    setActiveHostKernels(&saved);
}

const std::vector<RefusedLaunch>& refusedLaunches() {
    using D = DevicePtr;
    const dim3 grid(launchGroups);
    static const std::vector<RefusedLaunch> table = {
        // Missing, freed and too small buffers.
        {"a missing source", cudaErrorInvalidValue, grid,
         [](D x, D, D, D, D, D) { gpuKernelAdd_Source(N, x, D{0}, 0.2f); }},
        {"a freed source", cudaErrorInvalidValue, grid,
         [](D x, D, D, D, D, D f) { gpuKernelAdd_Source(N, x, f, 0.2f); }},
        {"a source smaller than the grid", cudaErrorInvalidValue, grid,
         [](D x, D, D, D m, D small, D) { gpuKernelDiffuse(N, 0, x, small, 0.5f, 0.2f, m); }},
        {"a mask smaller than the grid", cudaErrorInvalidValue, grid,
         [](D x, D y, D, D, D small, D) { gpuKernelProjectStep2(N, x, y, small); }},
        // Not one thread per cell, or a grid size out of range.
        {"one block too few", cudaErrorInvalidConfiguration, dim3(launchGroups - 1),
         [](D x, D y, D, D, D, D) { gpuKernelAdd_Source(N, x, y, 0.2f); }},
        {"N one less than the threads", cudaErrorInvalidConfiguration, grid,
         [](D x, D y, D z, D m, D, D) { gpuKernelAdvect(N - 1, 0, x, y, z, z, 0.2f, m); }},
        {"N = 0", cudaErrorInvalidConfiguration, grid,
         [](D x, D y, D z, D m, D, D) { gpuKernelProjectStep3(0, x, y, z, m); }},
    };
    return table;
}

void checkRefusals(Report& report) {
    const std::string backend = currentBackend().name;
    std::mt19937 rng(99);
    const Buffer xInit = floatBuffer("x", cellsPerField, rng, Values::Finite, 4.0f);
    const Buffer maskInit = maskBuffer(cellsPerField, rng, 10);
    DevicePtr x, y, z, mask, small, freed;
    bool ok = true;
    for (DevicePtr* p : {&x, &y, &z, &mask, &freed}) ok = ok && cudaMalloc(p, bytesPerField) == cudaSuccess;
    ok = ok && cudaMalloc(&small, bytesPerField - 4) == cudaSuccess;
    for (DevicePtr p : {x, y, z})
        ok = ok && cudaMemcpy(p, xInit.bits.data(), bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess;
    ok = ok && cudaMemcpy(mask, maskInit.bits.data(), bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess;
    ok = ok && cudaFree(freed) == cudaSuccess;
    if (!ok) {
        report.faults.push_back("refusals on " + backend + ": the buffers could not be set up");
        return;
    }

    for (const RefusedLaunch& r : refusedLaunches()) {
        ++report.cases;
        const cudaError_t status =
            launchStatus(r.grid, dim3(threadsPerGroup), [&] { r.launch(x, y, z, mask, small, freed); });
        if (status != r.status)
            report.faults.push_back("refusals on " + backend + ": " + r.what + " gave status " +
                                    std::to_string(status) + ", not " + std::to_string(r.status));
    }
    // None of them touched a buffer.
    std::vector<std::uint32_t> after(cellsPerField);
    for (DevicePtr p : {x, y, z, mask}) {
        const std::vector<std::uint32_t>& expected = p.handle == mask.handle ? maskInit.bits : xInit.bits;
        if (cudaMemcpy(after.data(), p, bytesPerField, cudaMemcpyDeviceToHost) != cudaSuccess || after != expected)
            report.faults.push_back("refusals on " + backend + ": a refused launch changed a buffer");
    }
    // A proper launch still runs afterwards.
    const auto properLaunch = [&] { gpuKernelAdd_Source(N, x, y, 0.5f); };
    if (launchStatus(dim3(launchGroups), dim3(threadsPerGroup), properLaunch) != cudaSuccess ||
        cudaMemcpy(after.data(), x, bytesPerField, cudaMemcpyDeviceToHost) != cudaSuccess)
        report.faults.push_back("refusals on " + backend + ": a proper launch failed afterwards");
    for (int t = 0; t < cellsPerField; ++t) {
        const float f = floatOf(xInit.bits[t]);
        if (after[t] != floatBits(f + f * 0.5f)) {
            report.faults.push_back("refusals on " + backend + ": the proper launch after them gave a wrong sum");
            break;
        }
    }
    for (DevicePtr p : {x, y, z, mask, small}) cudaFree(p);
}

}  // namespace gpucompare
