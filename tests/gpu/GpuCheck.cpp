// GpuCheck.cpp - the CUDA backend checked and timed on the machine it runs
// on, in one program that needs nothing but the solver and the runtime layer
// (no test framework, no GL), so that it builds on a bare CUDA machine.
//
//   gpu_check [--quick] [--scenario-steps K] [--check-every-launch]
//
// 1. Prints the device, its compute capability and the driver.
// 2. Compares the GPU with the host reference bit for bit (GpuComparison.h):
//    every kernel alone on random fields with solid cells, with the
//    single-pass kernels started each way the device offers, in several
//    launch shapes and grid sizes; every pair of buffer arguments naming one
//    buffer; whole steps from random scenes; K steps of the user-like
//    scenario (sources, pushes, walls); and the launches that both backends
//    must refuse.
// 3. Says how each kernel ran: grid and block, cooperative or three
//    launches, and for each relaxation its block, waves and which of its
//    inputs lay in shared memory.
// 4. Times, in this run: the median step on the host (reference and fast
//    kernels) and on the GPU (each way of starting the single-pass kernels);
//    the GPU step split into allocation, copies and kernels; and each kernel
//    on the device alone, by CUDA events around its launch.
//
// --quick runs every comparison group once at N = 126 with fewer seeds and
// steps, and short timings: under a minute of device time, for a short
// lease. --check-every-launch makes every launch wait for its kernel and
// report a failure at once (as FLUID_CUDA_CHECK=1 does).
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
#include "LaunchArguments.h"
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

// Wall time between the runtime's operations during a step, by kind: what
// ends with an allocation or free, a copy, or a launch's configuration,
// hand-over or start. With every launch waiting for its kernel, a kernel's
// run counts with its launch.
struct StepSplit {
    double allocation = 0.0, copies = 0.0, kernels = 0.0;
};
std::chrono::steady_clock::time_point splitMark;
StepSplit* splitInto = nullptr;
void splitObserver(Op op, cudaError_t) {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - splitMark).count();
    splitMark = now;
    if (op == Op::Malloc || op == Op::Free)
        splitInto->allocation += ms;
    else if (op == Op::Memcpy)
        splitInto->copies += ms;
    else
        splitInto->kernels += ms;
}

// The median of each part over `repeats` steps on the GPU from the
// scenario's fields, every launch waited for.
StepSplit splitStep(const Backend* gpu, int repeats) {
    scenario::Generator g{7};
    scenario::start(g);
    std::vector<StepSplit> splits(static_cast<std::size_t>(repeats));
    setBackend(gpu);
    const bool wasChecking = gpuCheckEveryLaunch(true);
    for (StepSplit& s : splits) {
        splitInto = &s;
        setOperationObserver(splitObserver);
        splitMark = std::chrono::steady_clock::now();
        gpuCalcFluid();
        setOperationObserver(nullptr);
    }
    gpuCheckEveryLaunch(wasChecking);
    setBackend(nullptr);
    auto median = [&](double StepSplit::*part) {
        std::vector<double> v;
        for (const StepSplit& s : splits) v.push_back(s.*part);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return StepSplit{median(&StepSplit::allocation), median(&StepSplit::copies), median(&StepSplit::kernels)};
}

// Each kernel alone on the device: the median of CUDA-event times around its
// configuration and launch, with the step's buffers holding the scenario's
// fields. Negative where a launch failed.
struct KernelTimes {
    double ms[6] = {-1, -1, -1, -1, -1, -1};
};

KernelTimes timeKernels(const Backend* gpu, int repeats) {
    scenario::Generator g{7};
    scenario::start(g);
    setBackend(gpu);
    DevicePtr U, V, UPrev, VPrev, Dens, DensPrev, Mask;
    const struct {
        DevicePtr* device;
        const void* host;
    } buffers[] = {{&U, u}, {&V, v}, {&UPrev, u_prev}, {&VPrev, v_prev}, {&Dens, dens}, {&DensPrev, dens_prev},
                   {&Mask, boundary}};
    bool ok = true;
    for (const auto& b : buffers)
        ok = ok && cudaMalloc(b.device, bytesPerField) == cudaSuccess &&
             cudaMemcpy(*b.device, b.host, bytesPerField, cudaMemcpyHostToDevice) == cudaSuccess;
    const std::function<void()> launches[6] = {
        [&] { gpuKernelAdd_Source(N, Dens, DensPrev, dt); },
        [&] { gpuKernelDiffuse(N, 1, Dens, DensPrev, diff, dt, Mask); },
        [&] { gpuKernelAdvect(N, 1, Dens, DensPrev, U, V, dt, Mask); },
        [&] { gpuKernelProjectStep1(N, U, V, UPrev, VPrev, Mask); },
        [&] { gpuKernelProjectStep2(N, UPrev, VPrev, Mask); },
        [&] { gpuKernelProjectStep3(N, U, V, UPrev, Mask); },
    };
    KernelTimes times;
    for (int k = 0; k < 6 && ok; ++k) {
        std::vector<double> ms;
        for (int r = 0; r < repeats; ++r) {
            static bool failed;
            failed = false;
            setOperationObserver([](Op, cudaError_t status) { failed = failed || status != cudaSuccess; });
            double one = 0.0;
            const bool timed = gpuDeviceMs(
                [&] {
                    if (cudaConfigureCall(dim3(launchGroups), dim3(threadsPerGroup)) == cudaSuccess) launches[k]();
                },
                &one);
            setOperationObserver(nullptr);
            if (!timed || failed) break;
            ms.push_back(one);
        }
        if (static_cast<int>(ms.size()) < repeats) continue;
        std::sort(ms.begin(), ms.end());
        times.ms[k] = ms[ms.size() / 2];
    }
    for (const auto& b : buffers) cudaFree(*b.device);
    setBackend(nullptr);
    return times;
}

// The ways this device can start the single-pass kernels.
std::vector<SinglePassLaunch> singlePassWays() {
    std::vector<SinglePassLaunch> ways = {SinglePassLaunch::ThreeLaunches};
    if (cooperativeLaunchOffered()) ways.push_back(SinglePassLaunch::Cooperative);
    return ways;
}
const char* wayName(SinglePassLaunch how) {
    return how == SinglePassLaunch::Cooperative ? "cooperative" : "three launches";
}

}  // namespace

int main(int argc, char** argv) {
    int scenarioSteps = 300;
    bool quick = false, stepsGiven = false;
    for (int k = 1; k < argc; ++k) {
        char* end = nullptr;
        if (std::strcmp(argv[k], "--quick") == 0) {
            quick = true;
            continue;
        }
        if (std::strcmp(argv[k], "--check-every-launch") == 0) {
            gpuCheckEveryLaunch(true);
            continue;
        }
        if (std::strcmp(argv[k], "--scenario-steps") == 0 && k + 1 < argc) {
            const long steps = std::strtol(argv[++k], &end, 10);
            if (*end == '\0' && steps >= 1 && steps <= 100000) {
                scenarioSteps = static_cast<int>(steps);
                stepsGiven = true;
                continue;
            }
        }
        std::fprintf(stderr,
                     "usage: gpu_check [--quick] [--scenario-steps K] [--check-every-launch]   (1 <= K <= 100000)\n");
        return 2;
    }
    if (quick && !stepsGiven) scenarioSteps = 30;
    registerFluidKernels();

    std::printf("GPU: %s\n", gpuDescription().c_str());
    const Backend* gpu = gpuBackend();
    if (!gpu) {
        const bool built = deviceRuns.addSource != nullptr;
        std::printf("gpu_check: %s; nothing compared\n",
                    built ? "no CUDA device is visible to this process" : "this build has no CUDA backend");
        return built ? exitNoDevice : exitNoBackend;
    }
    std::printf("cooperative launches: %s\n", cooperativeLaunchOffered() ? "offered" : "not offered");
    const auto t0 = std::chrono::steady_clock::now();

    bool clean = true;
    const std::vector<unsigned> seeds = quick ? std::vector<unsigned>{1} : std::vector<unsigned>{1, 2, 3, 4};
    {
        Report r;
        gpucompare::compareEachKernel(gpu, N, dim3(launchGroups), dim3(threadsPerGroup), seeds, r);
        const std::string what =
            "each kernel, " + std::to_string(launchGroups) + " x " + std::to_string(threadsPerGroup) + " threads";
        clean = printReport(what.c_str(), r) && clean;
    }
    for (SinglePassLaunch how : singlePassWays()) {
        Report r;
        setSinglePassLaunch(how);
        gpucompare::compareEachKernel(gpu, N, dim3(launchGroups), dim3(threadsPerGroup), {5}, r);
        if (!quick) gpucompare::compareEachKernel(gpu, 1022, dim3(32768), dim3(32), {10}, r);
        setSinglePassLaunch(SinglePassLaunch::Automatic);
        const std::string what = std::string("each kernel, single passes as ") + wayName(how);
        clean = printReport(what.c_str(), r) && clean;
    }
    {
        Report r;
        gpucompare::compareOtherShapes(gpu, quick, r);
        clean = printReport(quick ? "each kernel, other shapes at N = 126" : "each kernel, other shapes and grid sizes",
                            r) &&
                clean;
    }
    {
        Report r;
        gpucompare::compareSharedBuffers(gpu, nullptr, quick ? std::vector<unsigned>{1} : std::vector<unsigned>{1, 2},
                                         r);
        clean = printReport("buffer arguments naming one buffer", r) && clean;
    }
    {
        Report r;
        gpucompare::compareRandomScenes(gpu, quick ? 2 : 4, r);
        clean = printReport("whole steps from random scenes", r) && clean;
    }
    {
        Report r;
        for (unsigned seed : {1u, 2u}) {
            gpucompare::compareScenario(gpu, seed, scenarioSteps, r);
            if (quick) break;
        }
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
    std::printf("compared in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    // How the kernels ran in a step at N = 126.
    {
        setBackend(gpu);
        scenario::Generator g{7};
        scenario::start(g);
        gpuCalcFluid();
        setBackend(nullptr);
        std::printf("how the kernels ran in a step:\n%s", deviceLaunchReport().c_str());
    }

    const int repeats = quick ? 20 : 200;
    const int lanes = setFastKernelsVectorWidth(1 << 10);  // the widest this processor has
    const double reference = medianStepMs(nullptr, &referenceKernels(), quick ? 3 : repeats / 4);
    const double fast = medianStepMs(nullptr, &fastKernels(), repeats);
    const double device = medianStepMs(gpu, nullptr, repeats);
    std::printf("median step: host reference %.3f ms, host fast (%d lanes) %.3f ms, GPU %.3f ms "
                "(GPU / host fast %.2f)\n",
                reference, lanes, fast, device, device / fast);
    for (SinglePassLaunch how : singlePassWays()) {
        setSinglePassLaunch(how);
        const double ms = medianStepMs(gpu, nullptr, repeats);
        std::printf("median GPU step, single passes as %s: %.3f ms\n", wayName(how), ms);
    }
    setSinglePassLaunch(SinglePassLaunch::Automatic);

    const StepSplit split = splitStep(gpu, repeats);
    std::printf("GPU step, every launch waited for (medians): allocation and freeing %.3f ms, copies %.3f ms, "
                "kernels %.3f ms\n",
                split.allocation, split.copies, split.kernels);

    bool timed = true;
    for (SinglePassLaunch how : singlePassWays()) {
        setSinglePassLaunch(how);
        const KernelTimes t = timeKernels(gpu, repeats);
        std::printf("kernel times on the GPU (CUDA events, median of %d, single passes as %s):", repeats,
                    wayName(how));
        for (int k = 0; k < 6; ++k) {
            std::printf("%s %s %.4f ms", k ? "," : "", launcharguments::kernelNames[k], t.ms[k]);
            timed = timed && t.ms[k] >= 0.0;
        }
        std::printf("\n");
    }
    setSinglePassLaunch(SinglePassLaunch::Automatic);
    if (!timed) {
        std::printf("gpu_check: a timed kernel launch failed\n");
        clean = false;
    }
    std::printf("gpu_check: %s\n", clean ? "every comparison holds" : "the GPU DIFFERS from the host reference");
    return clean ? 0 : 1;
}
