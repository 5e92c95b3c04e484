// GpuComparison.h - the GPU backend held against the host reference, with no
// test framework, so that the same comparisons serve the GPU tests
// (GpuBackendTest.cpp) and the stand-alone check that runs on a bare CUDA
// machine (GpuCheck.cpp).
//
// Each comparison runs the same launches or steps on the host backend (with
// the reference kernels) and on the backend under test, downloads every
// buffer and compares it cell by cell. A Report gathers what was compared
// and one line per fault; it is clean when it holds no fault.
//
// NaNs: the device's arithmetic gives one canonical NaN (0x7fffffff) for every
// NaN result, while the host's x86 arithmetic passes an operand's NaN on with
// its sign and makes a negative NaN out of inf - inf or 0 * inf. The kernel
// bodies decide where a NaN appears, not which NaN it is, so on fields that
// hold infinities or NaNs (Values::Wild) a NaN must meet a NaN and every
// other value must match bit for bit. On finite fields every value, NaN or
// not, must match bit for bit with its sign.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DeviceRuntime.h"

struct KernelSet;  // Kernels.h

namespace gpucompare {

using fluidrt::Backend;
using fluidrt::DevicePtr;
using fluidrt::dim3;

struct Report {
    long cases = 0;  // kernel launches or scenario runs compared
    long steps = 0;  // whole steps compared
    long cells = 0;  // cells compared
    std::vector<std::string> faults;
    bool clean() const { return faults.empty(); }
};

enum class Values { Finite, Wild };

// Each kernel alone, on random fields and masks of an n x n grid, for every
// seed, both kinds of values and every border rule the kernel takes,
// launched with the given shape (one thread per cell).
void compareEachKernel(const Backend* gpu, int n, dim3 grid, dim3 block, const std::vector<unsigned>& seeds,
                       Report& report);

// Each kernel in other shapes with one thread per cell: two- and
// three-dimensional grids and blocks, and unless onlyN126, a 1 x 1 interior,
// a 14 x 14 one, and a grid too large for all its blocks to be resident at
// once (a device then runs it with fewer threads, several cells each).
void compareOtherShapes(const Backend* gpu, bool onlyN126, Report& report);

// Whole steps (gpuCalcFluid) from random scenes with sources and walls,
// finite and wild, with the usual parameters and with viscosity on.
void compareRandomScenes(const Backend* gpu, int stepsPerScene, Report& report);

// A long run as a user makes it: the deterministic scenario of
// StepScenario.h with sources, pushes and walls changed between steps,
// compared after every step.
void compareScenario(const Backend* gpu, unsigned seed, int steps, Report& report);

// Every pair of buffer arguments of every kernel naming one buffer, as the
// table sharedBufferRules (LaunchArguments.h) has them, at N = 126 for every
// border rule, both kinds of values and the seeds: a pair the table refuses
// must be refused on the host and on the other backend, writing nothing;
// every other pair is compared, the host reference against the other backend
// (running otherKernels where that is the host backend as well).
void compareSharedBuffers(const Backend* other, const KernelSet* otherKernels, const std::vector<unsigned>& seeds,
                          Report& report);

// Launches that every backend must refuse, writing nothing: missing, freed
// and too small buffers, and a shape without one thread per cell.
struct RefusedLaunch {
    const char* what;
    fluidrt::cudaError_t status;  // what the launch returns
    dim3 grid;
    // buffers: x, y, z (fields), mask, small (a field less one cell), freed
    void (*launch)(DevicePtr x, DevicePtr y, DevicePtr z, DevicePtr mask, DevicePtr small, DevicePtr freed);
};
const std::vector<RefusedLaunch>& refusedLaunches();

// Runs every refused launch on the current backend; each must fail with its
// status and no buffer may change. A proper launch must still run afterwards.
void checkRefusals(Report& report);

}  // namespace gpucompare
