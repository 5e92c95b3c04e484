// The step driver: the fifteen launches with their swaps, what the host fields
// hold afterwards, the failure messages and the silent skip of a kernel.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "TestSupport.h"

using namespace testsupport;
using namespace fluidrt;

namespace {

const KernelSet& ref = referenceKernels();

// The whole host state a step reads and writes.
struct State {
    FloatField u = floatField(), v = floatField(), uPrev = floatField(), vPrev = floatField();
    FloatField dens = floatField(), densPrev = floatField();
    MaskField mask = maskField();

    static State fromGlobals() {
        State s;
        s.u.assign(::u, ::u + cellsPerField);
        s.v.assign(::v, ::v + cellsPerField);
        s.uPrev.assign(::u_prev, ::u_prev + cellsPerField);
        s.vPrev.assign(::v_prev, ::v_prev + cellsPerField);
        s.dens.assign(::dens, ::dens + cellsPerField);
        s.densPrev.assign(::dens_prev, ::dens_prev + cellsPerField);
        s.mask.assign(::boundary, ::boundary + cellsPerField);
        return s;
    }
    void toGlobals() const {
        std::copy(u.begin(), u.end(), ::u);
        std::copy(v.begin(), v.end(), ::v);
        std::copy(uPrev.begin(), uPrev.end(), ::u_prev);
        std::copy(vPrev.begin(), vPrev.end(), ::v_prev);
        std::copy(dens.begin(), dens.end(), ::dens);
        std::copy(densPrev.begin(), densPrev.end(), ::dens_prev);
        std::copy(mask.begin(), mask.end(), ::boundary);
    }
};

void expectSameFields(const State& a, const State& b) {
    const FloatField State::*fields[] = {&State::u, &State::v, &State::uPrev, &State::vPrev, &State::dens,
                                         &State::densPrev};
    const char* names[] = {"u", "v", "u_prev", "v_prev", "dens", "dens_prev"};
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < cellsPerField; ++k)
            ASSERT_TRUE(sameValue((a.*fields[f])[k], (b.*fields[f])[k]))
                << names[f] << "[" << k << "]: " << (a.*fields[f])[k] << " vs " << (b.*fields[f])[k];
    ASSERT_EQ(a.mask, b.mask);
}

// One step written out in straight lines on named arrays, following the
// buffers through the driver's swaps by hand. Launch number `skip` (1..15)
// is left out, as a refused configuration would.
State straightLineStep(State s, int skip = 0) {
    float *D = s.dens.data(), *D0 = s.densPrev.data();
    float *U = s.u.data(), *U0 = s.uPrev.data(), *V = s.v.data(), *V0 = s.vPrev.data();
    const int* M = s.mask.data();
    int launch = 0;
    auto run = [&](auto&& f) {
        if (++launch != skip) f();
    };
    run([&] { ref.addSource(N, D, D0, dt); });
    // buffer roles swap: the density now sits in D0
    run([&] { ref.diffuse(N, 1, D0, D, diff, dt, M); });
    run([&] { ref.advect(N, 1, D, D0, U, V, dt, M); });
    run([&] { ref.addSource(N, U, U0, dt); });
    run([&] { ref.addSource(N, V, V0, dt); });
    run([&] { ref.diffuse(N, 0, U0, U, viscosity, dt, M); });
    run([&] { ref.diffuse(N, 0, V0, V, viscosity, dt, M); });
    run([&] { ref.projectStep1(N, U0, V0, U, V, M); });
    run([&] { ref.projectStep2(N, U, V, M); });
    run([&] { ref.projectStep3(N, U0, V0, U, M); });
    run([&] { ref.advect(N, 0, U, U0, U0, V0, dt, M); });
    run([&] { ref.advect(N, 0, V, V0, U0, V0, dt, M); });
    run([&] { ref.projectStep1(N, U, V, U0, V0, M); });
    run([&] { ref.projectStep2(N, U0, V0, M); });
    run([&] { ref.projectStep3(N, U, V, U0, M); });
    return s;  // the named arrays ended where the driver's names end
}

State randomState(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    State s;
    for (int k = 0; k < cellsPerField; ++k) {
        s.u[k] = 0.1f * value(rng);
        s.v[k] = 0.1f * value(rng);
        s.uPrev[k] = value(rng);
        s.vPrev[k] = value(rng);
        s.dens[k] = 1.0f + value(rng);
        s.densPrev[k] = 5.0f * value(rng);
        s.mask[k] = (rng() % 16) == 0 ? 1 : 0;
    }
    return s;
}

class DriverTest : public testing::Test {
  protected:
    void SetUp() override {
        resetFields();
        clearFaults();
        resetCounters();
    }
    void TearDown() override {
        clearFaults();
        setOperationObserver(nullptr);
        resetFields();
    }
};

}  // namespace

TEST_F(DriverTest, AllZeroFieldsStayZero) {
    gpuCalcFluid();
    for (int k = 0; k < cellsPerField; ++k) {
        // A zero divergence may keep a negative sign; it still compares equal to 0.
        ASSERT_EQ(u[k], 0.0f);
        ASSERT_EQ(v[k], 0.0f);
        ASSERT_EQ(u_prev[k], 0.0f);
        ASSERT_EQ(v_prev[k], 0.0f);
        ASSERT_EQ(dens[k], 0.0f);
        ASSERT_EQ(dens_prev[k], 0.0f);
        ASSERT_EQ(boundary[k], 0);
    }
    EXPECT_EQ(operationCount(Op::Launch), 15);
    EXPECT_EQ(operationCount(Op::Malloc), 7);
    EXPECT_EQ(operationCount(Op::Memcpy), 13);
    EXPECT_EQ(operationCount(Op::Free), 7);
    EXPECT_EQ(liveBufferCount(), 0);
}

TEST_F(DriverTest, StepMatchesTheLaunchSequenceFollowedByHand) {
    State s = randomState(1);
    s.toGlobals();
    gpuCalcFluid();
    const State after = State::fromGlobals();
    expectSameFields(after, straightLineStep(s));
    // Three steps in a row, feeding each step's leftovers into the next.
    State expected = after;
    for (int n = 0; n < 2; ++n) {
        gpuCalcFluid();
        expected = straightLineStep(expected);
    }
    expectSameFields(State::fromGlobals(), expected);
}

TEST_F(DriverTest, DensitySourceIsAddedDiffusedAdvectedAndAddedAgainNextStep) {
    auto totalDensity = [] {
        double total = 0;
        for (int k = 0; k < cellsPerField; ++k) total += dens[k];
        return total;
    };
    dens_prev[IX(64, 64)] = 100.0f;
    gpuCalcFluid();
    // The source spread out; at rest, advection keeps the diffused density,
    // so dens equals dens_prev, which holds the diffused density.
    EXPECT_GT(dens[IX(64, 64)], 0.0f);
    EXPECT_GT(dens[IX(66, 64)], 0.0f);
    EXPECT_GT(dens[IX(64, 62)], 0.0f);
    EXPECT_LT(dens[IX(64, 64)], 100.0f);
    EXPECT_EQ(dens[IX(80, 80)], 0.0f);
    for (int k = 0; k < cellsPerField; ++k) ASSERT_EQ(dens[k], dens_prev[k]) << k;
    const double total = totalDensity();
    EXPECT_GT(total, 20.0);

    // No new input: the leftover in dens_prev is added again. Compare with
    // the same second step on a cleared dens_prev.
    const State afterFirst = State::fromGlobals();
    gpuCalcFluid();
    const double withLeftover = totalDensity();
    State cleared = afterFirst;
    cleared.densPrev = floatField(0.0f);
    cleared.toGlobals();
    gpuCalcFluid();
    const double withoutLeftover = totalDensity();
    EXPECT_GT(withLeftover, withoutLeftover + 0.1 * total * dt);
    for (int k = 0; k < cellsPerField; ++k) {
        ASSERT_EQ(u[k], 0.0f);
        ASSERT_EQ(v[k], 0.0f);
    }
}

TEST_F(DriverTest, ObstaclesAreKeptAndHeldAtZero) {
    State s = randomState(2);
    s.mask[IX(30, 30)] = 7;  // any nonzero value is solid
    s.toGlobals();
    for (int n = 0; n < 3; ++n) gpuCalcFluid();
    const State after = State::fromGlobals();
    EXPECT_EQ(after.mask, s.mask);
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i)
            if (s.mask[IX(i, j)]) {
                ASSERT_EQ(after.dens[IX(i, j)], 0.0f);
                ASSERT_EQ(after.u[IX(i, j)], 0.0f);
                ASSERT_EQ(after.v[IX(i, j)], 0.0f);
            }
}

TEST_F(DriverTest, AWallStopsDensityCrossingIt) {
    for (int i = 1; i <= N; ++i) boundary[IX(i, 64)] = 1;
    for (int n = 0; n < 40; ++n) {
        dens_prev[IX(64, 60)] = 50.0f;
        gpuCalcFluid();
    }
    EXPECT_GT(dens[IX(64, 62)], 0.0f);
    // Right before the wall advection reflects positive density to negative.
    EXPECT_LT(dens[IX(64, 63)], 0.0f);
    for (int j = 64; j <= N + 1; ++j)
        for (int i = 0; i <= N + 1; ++i) ASSERT_EQ(dens[IX(i, j)], 0.0f) << i << "," << j;
}

TEST_F(DriverTest, ARefusedConfigurationSkipsThatKernelOnly) {
    const State s = randomState(3);
    for (int k = 1; k <= 15; ++k) {
        SCOPED_TRACE(k);
        s.toGlobals();
        resetCounters();
        failNth(Op::ConfigureCall, k);
        gpuCalcFluid();
        EXPECT_EQ(operationCount(Op::Launch), 14);
        EXPECT_EQ(operationCount(Op::Memcpy), 13) << "the step still downloads";
        expectSameFields(State::fromGlobals(), straightLineStep(s, k));
    }
}

TEST_F(DriverTest, ARefusedArgumentHandOverSkipsThatKernelOnly) {
    // Arguments per launch, in launch order.
    const int argCount[15] = {4, 7, 8, 4, 4, 7, 7, 6, 4, 5, 8, 8, 6, 4, 5};
    const State s = randomState(4);
    int before = 0;
    for (int k = 1; k <= 15; ++k) {
        SCOPED_TRACE(k);
        // Refuse the last argument of launch k: all earlier ones were accepted.
        before += argCount[k - 1];
        s.toGlobals();
        resetCounters();
        failNth(Op::SetupArgument, before);
        gpuCalcFluid();
        EXPECT_EQ(operationCount(Op::Launch), 14);
        expectSameFields(State::fromGlobals(), straightLineStep(s, k));
    }
}

namespace {
bool failureSeen = false;
// Reports any runtime operation attempted after the injected failure.
void reportLaterOperations(Op op, cudaError_t status) {
    if (failureSeen) std::printf("[later %s]", opName(op));
    if (status != cudaSuccess) failureSeen = true;
}
}  // namespace

TEST_F(DriverTest, EveryFailedAllocationCopyAndFreePrintsItsMessageAndExits) {
    struct Case {
        Op op;
        int nth;
        const char* message;
    };
    const Case cases[] = {
        {Op::Malloc, 1, "In gpuCalcFluid: cudaMalloc for gpuU failed.\n"},
        {Op::Malloc, 2, "In gpuCalcFluid: cudaMalloc for gpuV failed.\n"},
        {Op::Malloc, 3, "In gpuCalcFluid: cudaMalloc for gpuUPrev failed.\n"},
        {Op::Malloc, 4, "In gpuCalcFluid: cudaMalloc for gpuVPrev failed.\n"},
        {Op::Malloc, 5, "In gpuCalcFluid: cudaMalloc for gpuDens failed.\n"},
        {Op::Malloc, 6, "In gpuCalcFluid: cudaMalloc for gpuDensPrev failed.\n"},
        {Op::Malloc, 7, "In gpuCalcFluid: cudaMalloc for gpuBoundary failed.\n"},
        {Op::Memcpy, 1, "In gpuCalcFluid: cudaMemcpy for gpuU failed.\n"},
        {Op::Memcpy, 2, "In gpuCalcFluid: cudaMemcpy for gpuV failed.\n"},
        {Op::Memcpy, 3, "In gpuCalcFluid: cudaMemcpy for gpuUPrev failed.\n"},
        {Op::Memcpy, 4, "In gpuCalcFluid: cudaMemcpy for gpuVPrev failed.\n"},
        {Op::Memcpy, 5, "In gpuCalcFluid: cudaMemcpy for gpuDens failed.\n"},
        {Op::Memcpy, 6, "In gpuCalcFluid: cudaMemcpy for gpuDensPrev failed.\n"},
        {Op::Memcpy, 7, "In gpuProject: cudaMemcpy for gpuBoundary failed.\n"},
        {Op::Memcpy, 8, "In gpuCalcFluid: cudaMemcpy back to host for u failed.\n"},
        {Op::Memcpy, 9, "In gpuCalcFluid: cudaMemcpy back to host for v failed.\n"},
        {Op::Memcpy, 10, "In gpuCalcFluid: cudaMemcpy back to host for u_prev failed.\n"},
        {Op::Memcpy, 11, "In gpuCalcFluid: cudaMemcpy back to host for v_prev failed.\n"},
        {Op::Memcpy, 12, "In gpuCalcFluid: cudaMemcpy back to host for dens failed.\n"},
        {Op::Memcpy, 13, "In gpuCalcFluid: cudaMemcpy back to host for dens_prev failed.\n"},
        {Op::Free, 1, "In gpuCalcFluid: cudaFree gpuU failed.\n"},
        {Op::Free, 2, "In gpuCalcFluid: cudaFree gpuV failed.\n"},
        {Op::Free, 3, "In gpuCalcFluid: cudaFree gpuUPrev failed.\n"},
        {Op::Free, 4, "In gpuCalcFluid: cudaFree gpuVPrev failed.\n"},
        {Op::Free, 5, "In gpuCalcFluid: cudaFree gpuDens failed.\n"},
        {Op::Free, 6, "In gpuCalcFluid: cudaFree gpuDensPrev failed.\n"},
        {Op::Free, 7, "In gpuProject: cudaFree gpuBoundary failed.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const ChildResult r = runInChild([&] {
            failureSeen = false;
            setOperationObserver(reportLaterOperations);
            failNth(c.op, c.nth);
            gpuCalcFluid();
            std::printf("[step returned]");
        });
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.message);
    }
}
