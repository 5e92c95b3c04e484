// The step driver: the fifteen launches with their swaps, what the host fields
// hold afterwards, the failure messages and the silent skip of a kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "KernelBodies.h"
#include "StepReference.h"

using namespace testsupport;
using namespace fluidrt;

namespace {

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

namespace {
std::vector<std::pair<const void*, std::size_t>> keptResident;
cudaError_t recordKeptResident(const void* host, std::size_t bytes) {
    keptResident.emplace_back(host, bytes);
    return cudaSuccess;
}
}  // namespace

TEST_F(DriverTest, TheSevenFieldsAreOfferedToBeKeptResidentOutsideTheCountedOperations) {
    Backend keeping = hostBackend();
    keeping.keepResident = recordKeptResident;
    setBackend(&keeping);
    keptResident.clear();
    gpuCalcFluid();
    setBackend(nullptr);
    // A step on the plain host backend makes exactly as many counted operations.
    const long counted = totalOperationCount();
    resetCounters();
    gpuCalcFluid();
    EXPECT_EQ(counted, totalOperationCount());
    const void* const fields[] = {u, v, u_prev, v_prev, dens, dens_prev, boundary};
    ASSERT_EQ(keptResident.size(), 7u);
    for (int f = 0; f < 7; ++f) {
        EXPECT_EQ(keptResident[f].first, fields[f]) << f;
        EXPECT_EQ(keptResident[f].second, 65536u) << f;
        // On pages of their own, so that each can be locked apart from the others.
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(fields[f]) % 4096, 0u) << f;
    }
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
    EXPECT_LT(dens[IX(80, 80)], 1e-3f * dens[IX(64, 64)]);  // far cells get next to nothing
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

TEST_F(DriverTest, MirroredPushesTowardOppositeWallsGiveMirroredFlows) {
    // A velocity source pushes toward one wall for four steps, and in a
    // second run its mirror image pushes toward the opposite wall. An
    // in-place relaxation runs in one direction, so the two flows differ
    // (measured: by 41% of the flow along either axis), but no wall may be
    // treated differently from its opposite: sweeps whose cells next to the
    // low walls read 0 while those next to the high walls read copies make
    // the difference 152%.
    struct Push {
        const char* axis;
        bool alongI;
    };
    for (const Push push : {Push{"j", false}, Push{"i", true}}) {
        SCOPED_TRACE(push.axis);
        const auto mirror = [&](int i, int j) { return push.alongI ? IX(N + 1 - i, j) : IX(i, N + 1 - j); };
        State runs[2];
        for (int run = 0; run < 2; ++run) {
            resetFields();
            // Three cells from the low wall, pushing toward it; or the mirror image.
            const int nearLowWall = push.alongI ? IX(3, 64) : IX(64, 3);
            const int cell =
                run == 0 ? nearLowWall : mirror(kernel::cellI(N, nearLowWall), kernel::cellJ(N, nearLowWall));
            (push.alongI ? u_prev : v_prev)[cell] = run == 0 ? -40.0f : 40.0f;
            for (int step = 0; step < 4; ++step) gpuCalcFluid();
            runs[run] = State::fromGlobals();
        }
        double difference = 0, total = 0;
        for (int j = 0; j <= N + 1; ++j)
            for (int i = 0; i <= N + 1; ++i) {
                const int a = IX(i, j), b = mirror(i, j);
                // The velocity component along the push changes sign in the mirror.
                const float uB = push.alongI ? -runs[1].u[b] : runs[1].u[b];
                const float vB = push.alongI ? runs[1].v[b] : -runs[1].v[b];
                difference += std::fabs(runs[0].u[a] - uB) + std::fabs(runs[0].v[a] - vB);
                total += std::fabs(runs[0].u[a]) + std::fabs(runs[0].v[a]);
            }
        ASSERT_GT(total, 1.0);
        EXPECT_LT(difference / total, 0.6);
    }
}
