// SolverCheck.cpp - the whole step, fast kernels against reference, in a
// program that builds both natively and for WebAssembly (node runs it).
//
//   solver_check identity
//       Many steps from many seeds of the scenario (StepScenario.h), each
//       run once with the 4-lane fast kernels and once with the reference
//       kernels from the same fields; every field must match bit for bit
//       after every step, the fast kernels must not have handed any launch
//       to the reference, and the fields must stay finite and busy.
//   solver_check digest reference|fast STEPS
//       One fixed scenario run for STEPS steps with the named kernels,
//       printing a hash of every field's bits at the start (step 0) and
//       after each step. Equal output
//       from two builds means equal fields, bit for bit, at every step.
//
// Exit status 0 when all holds, 1 with the reason on standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FastKernels.h"
#include "Fluid.h"
#include "Kernels.h"
#include "StepScenario.h"

namespace {

struct Snapshot {
    std::vector<float> fields[6];
    std::vector<int> mask;
};

float* const liveFields[6] = {u, v, u_prev, v_prev, dens, dens_prev};
const char* const fieldNames[6] = {"u", "v", "u_prev", "v_prev", "dens", "dens_prev"};

Snapshot take() {
    Snapshot s;
    for (int f = 0; f < 6; ++f) s.fields[f].assign(liveFields[f], liveFields[f] + cellsPerField);
    s.mask.assign(boundary, boundary + cellsPerField);
    return s;
}

void restore(const Snapshot& s) {
    for (int f = 0; f < 6; ++f) std::memcpy(liveFields[f], s.fields[f].data(), bytesPerField);
    std::memcpy(boundary, s.mask.data(), bytesPerField);
}

int fail(const std::string& why) {
    std::fprintf(stderr, "solver_check: %s\n", why.c_str());
    return 1;
}

// The first cell whose bits differ, as "field[cell]", or "" when none does.
std::string firstDifference(const Snapshot& a, const Snapshot& b) {
    for (int f = 0; f < 6; ++f)
        if (std::memcmp(a.fields[f].data(), b.fields[f].data(), bytesPerField) != 0)
            for (int k = 0; k < cellsPerField; ++k)
                if (std::memcmp(&a.fields[f][k], &b.fields[f][k], sizeof(float)) != 0)
                    return std::string(fieldNames[f]) + "[" + std::to_string(k) + "]";
    return "";
}

// Cells of the interior whose density moved away from zero: a run whose
// density dies out, or never moves, would compare little.
int busyCells() {
    int busy = 0;
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) busy += dens[IX(i, j)] != 0.0f && u[IX(i, j)] != 0.0f;
    return busy;
}

int identity() {
    const int lanes = setFastKernelsVectorWidth(4);
    if (lanes != 4) return fail("the fast kernels run " + std::to_string(lanes) + " lanes, not 4");
    constexpr int seeds = 12, stepsPerSeed = 12;
    for (int seed = 1; seed <= seeds; ++seed) {
        scenario::Generator g{static_cast<std::uint64_t>(seed)};
        scenario::start(g);
        for (int step = 1; step <= stepsPerSeed; ++step) {
            scenario::stir(g);
            const Snapshot before = take();
            setActiveHostKernels(&referenceKernels());
            gpuCalcFluid();
            const Snapshot expected = take();
            restore(before);
            setActiveHostKernels(&fastKernels());
            const long handedOver = fastKernelsReferenceLaunches();
            gpuCalcFluid();
            const std::string where = "seed " + std::to_string(seed) + ", step " + std::to_string(step);
            if (fastKernelsReferenceLaunches() != handedOver)
                return fail(where + ": the fast kernels handed launches to the reference");
            const std::string differs = firstDifference(take(), expected);
            if (!differs.empty()) return fail(where + ": fast and reference differ first at " + differs);
            if (!scenario::fieldsFinite()) return fail(where + ": the scenario left a non-finite value");
        }
        if (busyCells() < N * N / 2)
            return fail("seed " + std::to_string(seed) + ": only " + std::to_string(busyCells()) + " busy cells");
    }
    std::printf("solver_check: %d steps, fast (4 lanes) equal to reference bit for bit\n", seeds * stepsPerSeed);
    return 0;
}

int digest(const char* kernels, int steps) {
    if (std::strcmp(kernels, "reference") == 0) {
        setActiveHostKernels(&referenceKernels());
    } else if (std::strcmp(kernels, "fast") == 0) {
        setActiveHostKernels(&fastKernels());
        if (setFastKernelsVectorWidth(4) != 4) return fail("no 4-lane fast kernels");
    } else {
        return fail(std::string("kernels must be reference or fast, not ") + kernels);
    }
    const long handedOver = fastKernelsReferenceLaunches();
    scenario::Generator g{2024};
    scenario::start(g);
    scenario::printDigest(0);  // the starting fields: a difference here is the scenario's, not the solver's
    for (int step = 1; step <= steps; ++step) {
        scenario::stir(g);
        gpuCalcFluid();
        if (!scenario::fieldsFinite()) return fail("step " + std::to_string(step) + " left a non-finite value");
        scenario::printDigest(step);
    }
    if (fastKernelsReferenceLaunches() != handedOver) return fail("the fast kernels handed launches to the reference");
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the digest");
}

}  // namespace

int main(int argc, char** argv) {
    registerFluidKernels();
    if (argc == 2 && std::strcmp(argv[1], "identity") == 0) return identity();
    if (argc == 4 && std::strcmp(argv[1], "digest") == 0) return digest(argv[2], std::atoi(argv[3]));
    return fail("usage: solver_check identity | solver_check digest reference|fast STEPS");
}
