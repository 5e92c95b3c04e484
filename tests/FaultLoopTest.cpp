// Every runtime operation of a step made to fail in turn: the first, the
// second, ... until a step sees no failure. Each case runs in a child process
// and its outcome is checked against what that operation's failure must do:
// allocations, copies and frees end the process with their message and
// status 1; a refused configuration, argument hand-over or launch skips that
// one kernel, and the step completes with the obstacle mask unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StepReference.h"

using namespace testsupport;
using namespace fluidrt;

namespace {

std::vector<Op> recorded;
void recordOperation(Op op, cudaError_t) { recorded.push_back(op); }

// The operations of one undisturbed step, in order.
std::vector<Op> operationsOfAStep() {
    recorded.clear();
    setOperationObserver(recordOperation);
    gpuCalcFluid();
    setOperationObserver(nullptr);
    return recorded;
}

const char* const allocationMessages[] = {
    "In gpuCalcFluid: cudaMalloc for gpuU failed.\n",        "In gpuCalcFluid: cudaMalloc for gpuV failed.\n",
    "In gpuCalcFluid: cudaMalloc for gpuUPrev failed.\n",    "In gpuCalcFluid: cudaMalloc for gpuVPrev failed.\n",
    "In gpuCalcFluid: cudaMalloc for gpuDens failed.\n",     "In gpuCalcFluid: cudaMalloc for gpuDensPrev failed.\n",
    "In gpuCalcFluid: cudaMalloc for gpuBoundary failed.\n",
};
const char* const copyMessages[] = {
    "In gpuCalcFluid: cudaMemcpy for gpuU failed.\n",
    "In gpuCalcFluid: cudaMemcpy for gpuV failed.\n",
    "In gpuCalcFluid: cudaMemcpy for gpuUPrev failed.\n",
    "In gpuCalcFluid: cudaMemcpy for gpuVPrev failed.\n",
    "In gpuCalcFluid: cudaMemcpy for gpuDens failed.\n",
    "In gpuCalcFluid: cudaMemcpy for gpuDensPrev failed.\n",
    "In gpuProject: cudaMemcpy for gpuBoundary failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for u failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for v failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for u_prev failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for v_prev failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for dens failed.\n",
    "In gpuCalcFluid: cudaMemcpy back to host for dens_prev failed.\n",
};
const char* const freeMessages[] = {
    "In gpuCalcFluid: cudaFree gpuU failed.\n",     "In gpuCalcFluid: cudaFree gpuV failed.\n",
    "In gpuCalcFluid: cudaFree gpuUPrev failed.\n", "In gpuCalcFluid: cudaFree gpuVPrev failed.\n",
    "In gpuCalcFluid: cudaFree gpuDens failed.\n",  "In gpuCalcFluid: cudaFree gpuDensPrev failed.\n",
    "In gpuProject: cudaFree gpuBoundary failed.\n",
};

}  // namespace

TEST(FaultLoop, EveryOperationOfAStepFailsInTurn) {
    const State start = randomState(11);
    start.toGlobals();
    clearFaults();
    const std::vector<Op> ops = operationsOfAStep();
    ASSERT_EQ(ops.size(), 7u + 13u + 7u + 15u + 87u + 15u);

    int seen[static_cast<int>(Op::Count) + 1] = {};
    int launch = 0;  // the launch (1..15) that the current configuration belongs to
    int fatal = 0, skipped = 0;
    for (size_t k = 1; k <= ops.size() + 1; ++k) {
        SCOPED_TRACE("failing operation " + std::to_string(k));
        const bool beyond = k > ops.size();
        const Op op = beyond ? Op::Count : ops[k - 1];
        if (!beyond) ++seen[static_cast<int>(op)];
        if (op == Op::ConfigureCall) ++launch;

        std::string expectedMessage;
        if (op == Op::Malloc) expectedMessage = allocationMessages[seen[int(Op::Malloc)] - 1];
        if (op == Op::Memcpy) expectedMessage = copyMessages[seen[int(Op::Memcpy)] - 1];
        if (op == Op::Free) expectedMessage = freeMessages[seen[int(Op::Free)] - 1];
        // A refused configuration, hand-over or launch leaves that kernel out.
        const State expected = straightLineStep(start, beyond ? 0 : launch);

        const ChildResult r = runInChild([&] {
            start.toGlobals();
            clearFaults();
            failNthOperation(static_cast<long>(k));
            gpuCalcFluid();
            const bool match = sameFields(State::fromGlobals(), expected);
            std::printf(match ? "step completed as expected" : "step completed with wrong fields");
        });
        ASSERT_TRUE(r.exited);
        if (!expectedMessage.empty()) {
            ++fatal;
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, expectedMessage);
        } else {
            ++skipped;
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out, "step completed as expected");
        }
    }
    EXPECT_EQ(fatal, 27);
    EXPECT_EQ(skipped, static_cast<int>(ops.size()) - 27 + 1);
    RecordProperty("fault_cases", static_cast<int>(ops.size()));
    std::printf("fault loop: %zu operations failed in turn (27 fatal, %d skipped kernels), plus one clean step\n",
                ops.size(), skipped - 1);
}
