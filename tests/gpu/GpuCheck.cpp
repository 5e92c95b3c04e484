// GpuCheck.cpp - the CUDA backend checked and timed on the machine it runs
// on, in one program that needs nothing but the solver and the runtime layer
// (no test framework, no GL), so that it builds on a bare CUDA machine.
//
//   gpu_check [--scenario-steps K]     (default 300)
//
// 1. Prints the device, its compute capability and the driver.
// 2. Compares the GPU with the host reference bit for bit (GpuComparison.h):
//    every kernel alone on random fields with solid cells, in several launch
//    shapes and grid sizes; whole steps from random scenes; K steps of the
//    user-like scenario (sources, pushes, walls); and the launches that both
//    backends must refuse.
// 3. Times, in this run, the median step on the host (reference and fast
//    kernels) and on the GPU, and the median launch of each relaxation on
//    the GPU (to the end of the kernel).
//
// Exit status: 0 when every comparison holds, 1 when one does not, 2 for a
// bad command line, 3 when this build has a CUDA backend but no device is
// visible, 4 when the build has no CUDA backend.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DeviceRuns.h"
#include "FastKernels.h"
#include "Fluid.h"
#include "GpuBackend.h"
#include "GpuComparison.h"
#include "Kernels.h"
#include "StepMedian.h"
#include "StepScenario.h"

namespace {

using namespace fluidrt;
using gpucompare::Report;

constexpr int exitNoDevice = 3, exitNoBackend = 4;

// Prints one group's counts and faults; true when it is clean.
bool printReport(const char* what, const Report& r) {
    std::printf("%-44s %6ld cases %5ld steps %10ld cells  %s\n", what, r.cases, r.steps, r.cells,
                r.clean() ? "equal" : "DIFFERENT");
    const std::size_t shown = std::min<std::size_t>(r.faults.size(), 10);
    for (std::size_t k = 0; k < shown; ++k) std::printf("    %s\n", r.faults[k].c_str());
    if (r.faults.size() > shown) std::printf("    ... and %zu more\n", r.faults.size() - shown);
    std::fflush(stdout);
    return r.clean();
}

// The median of `repeats` runs of timed(), each after prepare(), in ms.
double medianMs(int repeats, const std::function<void()>& prepare, const std::function<void()>& timed) {
    std::vector<double> ms(static_cast<std::size_t>(repeats));
    for (double& t : ms) {
        prepare();
        const auto begin = std::chrono::steady_clock::now();
        timed();
        t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The median whole step (gpuCalcFluid, with its allocations, copies and
// frees) on a backend.
double medianStepMs(const Backend* backend, const KernelSet* hostKernels, int repeats) {
    setActiveHostKernels(hostKernels);
    setBackend(backend);
    const double ms = medianScenarioStepMs(repeats);
    setBackend(nullptr);
    setActiveHostKernels(nullptr);
    return ms;
}

// The median launch of each relaxation on the GPU, from its launch to the
// end of the kernel, on the scenario's fields. Negative when a launch failed.
void timeRelaxations(const Backend* gpu, int repeats, double* diffuseMs, double* pressureMs) {
    scenario::Generator g{7};
    scenario::start(g);
    setBackend(gpu);
    DevicePtr x, x0, mask;
    bool ok = cudaMalloc(&x, bytesPerField) == cudaSuccess && cudaMalloc(&x0, bytesPerField) == cudaSuccess &&
              cudaMalloc(&mask, bytesPerField) == cudaSuccess &&
              cudaMemcpy(x0, dens_prev, bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess &&
              cudaMemcpy(mask, boundary, bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess;
    auto time = [&](const std::function<void()>& launch) {
        long failed = 0;
        static long* failures;
        failures = &failed;
        setOperationObserver([](Op op, cudaError_t status) {
            if ((op == Op::Launch || op == Op::ConfigureCall) && status != cudaSuccess) ++*failures;
        });
        const double ms = medianMs(
            repeats, [&] { ok = ok && cudaMemcpy(x, dens, bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess; },
            [&] {
                cudaConfigureCall(dim3(launchGroups), dim3(threadsPerGroup));
                launch();
                ok = ok && gpuFinish() == cudaSuccess;
            });
        setOperationObserver(nullptr);
        return ok && failed == 0 ? ms : -1.0;
    };
    *diffuseMs = time([&] { gpuKernelDiffuse(N, 0, x, x0, diff, dt, mask); });
    *pressureMs = time([&] { gpuKernelProjectStep2(N, x, x0, mask); });
    for (DevicePtr p : {x, x0, mask}) cudaFree(p);
    setBackend(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    int scenarioSteps = 300;
    for (int k = 1; k < argc; ++k) {
        char* end = nullptr;
        if (std::strcmp(argv[k], "--scenario-steps") == 0 && k + 1 < argc) {
            const long steps = std::strtol(argv[++k], &end, 10);
            if (*end == '\0' && steps >= 1 && steps <= 100000) {
                scenarioSteps = static_cast<int>(steps);
                continue;
            }
        }
        std::fprintf(stderr, "usage: gpu_check [--scenario-steps K]   (1 <= K <= 100000)\n");
        return 2;
    }
    registerFluidKernels();

    std::printf("GPU: %s\n", gpuDescription().c_str());
    const Backend* gpu = gpuBackend();
    if (!gpu) {
        const bool built = deviceRuns.addSource != nullptr;
        std::printf("gpu_check: %s; nothing compared\n",
                    built ? "no CUDA device is visible to this process" : "this build has no CUDA backend");
        return built ? exitNoDevice : exitNoBackend;
    }

    bool clean = true;
    {
        Report r;
        gpucompare::compareEachKernel(gpu, N, dim3(launchGroups), dim3(threadsPerGroup), {1, 2, 3, 4}, r);
        const std::string what =
            "each kernel, " + std::to_string(launchGroups) + " x " + std::to_string(threadsPerGroup) + " threads";
        clean = printReport(what.c_str(), r) && clean;
    }
    {
        Report r;
        gpucompare::compareOtherShapes(gpu, r);
        clean = printReport("each kernel, other shapes and grid sizes", r) && clean;
    }
    {
        Report r;
        gpucompare::compareRandomScenes(gpu, 4, r);
        clean = printReport("whole steps from random scenes", r) && clean;
    }
    {
        Report r;
        for (unsigned seed : {1u, 2u}) gpucompare::compareScenario(gpu, seed, scenarioSteps, r);
        const std::string what = "scenario with sources and walls, " + std::to_string(scenarioSteps) + " steps";
        clean = printReport(what.c_str(), r) && clean;
    }
    {
        Report r;
        gpucompare::checkRefusals(r);  // on the host backend
        setBackend(gpu);
        gpucompare::checkRefusals(r);
        setBackend(nullptr);
        clean = printReport("refused launches, host and GPU", r) && clean;
    }

    const int repeats = 200;
    const int lanes = setFastKernelsVectorWidth(1 << 10);  // the widest this processor has
    const double reference = medianStepMs(nullptr, &referenceKernels(), repeats / 4);
    const double fast = medianStepMs(nullptr, &fastKernels(), repeats);
    const double device = medianStepMs(gpu, nullptr, repeats);
    double diffuseMs = -1.0, pressureMs = -1.0;
    timeRelaxations(gpu, repeats, &diffuseMs, &pressureMs);
    std::printf("median step: host reference %.3f ms, host fast (%d lanes) %.3f ms, GPU %.3f ms "
                "(GPU / host fast %.2f)\n",
                reference, lanes, fast, device, device / fast);
    std::printf("median relaxation on the GPU (20 sweeps in one block): diffusion %.3f ms, pressure %.3f ms\n",
                diffuseMs, pressureMs);
    if (diffuseMs < 0.0 || pressureMs < 0.0) {
        std::printf("gpu_check: a timed relaxation launch failed\n");
        clean = false;
    }
    std::printf("gpu_check: %s\n", clean ? "every comparison holds" : "the GPU DIFFERS from the host reference");
    return clean ? 0 : 1;
}
