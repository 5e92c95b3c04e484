// The device runtime layer: buffers, copies, the launch protocol and the
// fault injection that the solver's failure tests rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "DeviceRuntime.h"
#include "Fluid.h"
#include "GpuBackend.h"
#include "GpuComparison.h"
#include "Kernels.h"
#include "LaunchArguments.h"
#include "LaunchFailureReport.h"

using namespace fluidrt;

class RuntimeTest : public testing::Test {
  protected:
    void TearDown() override {
        clearFaults();
        setOperationObserver(nullptr);
    }
};

TEST_F(RuntimeTest, BuffersRoundTripAndRejectOversizedCopies) {
    const int before = liveBufferCount();
    DevicePtr a;
    ASSERT_EQ(cudaMalloc(&a, 16), cudaSuccess);
    EXPECT_NE(a.handle, 0u);
    EXPECT_EQ(liveBufferCount(), before + 1);

    const float in[4] = {1.0f, -2.0f, 3.5f, 0.25f};
    float out[4] = {};
    float big[5] = {};
    EXPECT_EQ(cudaMemcpy(a, in, sizeof in, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(std::vector<float>(out, out + 4), std::vector<float>(in, in + 4));
    // A short copy moves exactly the bytes asked for, either way.
    float head[4] = {-9.0f, -9.0f, -9.0f, -9.0f};
    EXPECT_EQ(cudaMemcpy(head, a, 8, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(std::vector<float>(head, head + 4), (std::vector<float>{1.0f, -2.0f, -9.0f, -9.0f}));
    const float newHead[2] = {5.0f, 6.0f};
    EXPECT_EQ(cudaMemcpy(a, newHead, 8, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{5.0f, 6.0f, 3.5f, 0.25f}));
    // More bytes than the buffer holds, or the wrong direction, is refused.
    EXPECT_NE(cudaMemcpy(a, big, sizeof big, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_NE(cudaMemcpy(big, a, sizeof big, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_NE(cudaMemcpy(a, in, sizeof in, cudaMemcpyDeviceToHost), cudaSuccess);

    EXPECT_EQ(cudaFree(a), cudaSuccess);
    EXPECT_EQ(liveBufferCount(), before);
    // A freed or never allocated handle names no buffer.
    EXPECT_NE(cudaFree(a), cudaSuccess);
    EXPECT_NE(cudaMemcpy(out, a, sizeof out, cudaMemcpyDeviceToHost), cudaSuccess);
    EXPECT_NE(cudaMemcpy(out, DevicePtr{0xFFFFFFFFu}, 4, cudaMemcpyDeviceToHost), cudaSuccess);
}

TEST_F(RuntimeTest, NthOperationOfEachKindFailsOnceAndOnlyThen) {
    DevicePtr a, b, c;
    failNth(Op::Malloc, 2);
    EXPECT_EQ(cudaMalloc(&a, 4), cudaSuccess);
    EXPECT_EQ(cudaMalloc(&b, 4), cudaErrorInjectedFault);
    EXPECT_EQ(cudaMalloc(&c, 4), cudaSuccess);

    float x = 1.0f;
    failNth(Op::Memcpy, 1);
    EXPECT_NE(cudaMemcpy(a, &x, 4, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpy(a, &x, 4, cudaMemcpyHostToDevice), cudaSuccess);

    failNth(Op::Free, 1);
    EXPECT_NE(cudaFree(a), cudaSuccess);
    EXPECT_EQ(cudaFree(a), cudaSuccess);  // the injected failure freed nothing
    EXPECT_EQ(cudaFree(c), cudaSuccess);

    failNth(Op::ConfigureCall, 1);
    EXPECT_NE(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    // Without a configuration there is nothing to hand arguments to.
    EXPECT_NE(cudaSetupArgument(&x, 4, 0), cudaSuccess);
    EXPECT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    failNth(Op::SetupArgument, 2);
    EXPECT_EQ(cudaSetupArgument(&x, 4, 0), cudaSuccess);
    EXPECT_NE(cudaSetupArgument(&x, 4, 4), cudaSuccess);
    failNth(Op::Launch, 1);
    EXPECT_NE(cudaLaunch(registeredEntry("gpuKernelAdd_Source")), cudaSuccess);
    failNth(Op::SetDevice, 1);
    EXPECT_NE(cudaSetDevice(0), cudaSuccess);
    EXPECT_EQ(cudaSetDevice(0), cudaSuccess);
}

TEST_F(RuntimeTest, FailNthOperationCountsEveryKind) {
    resetCounters();
    DevicePtr a;
    failNthOperation(3);
    EXPECT_EQ(cudaSetDevice(0), cudaSuccess);
    EXPECT_EQ(cudaMalloc(&a, 4), cudaSuccess);
    EXPECT_NE(cudaFree(a), cudaSuccess);
    EXPECT_EQ(cudaFree(a), cudaSuccess);
    EXPECT_EQ(totalOperationCount(), 4);
    EXPECT_EQ(operationCount(Op::Free), 2);
    EXPECT_EQ(operationCount(Op::Malloc), 1);
}

TEST_F(RuntimeTest, ArgumentHandOverStaysInsideTheArgumentArea) {
    float x = 0.0f;
    ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    EXPECT_EQ(cudaSetupArgument(&x, 4, maxArgumentBytes - 4), cudaSuccess);
    EXPECT_NE(cudaSetupArgument(&x, 4, maxArgumentBytes - 3), cudaSuccess);
    EXPECT_NE(cudaSetupArgument(&x, 8, static_cast<std::size_t>(-4)), cudaSuccess);
    EXPECT_NE(cudaSetupArgument(nullptr, 4, 0), cudaSuccess);
}

TEST_F(RuntimeTest, LaunchNeedsARegisteredKernelAndAConfiguration) {
    int unregistered = 0;
    ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1)), cudaSuccess);
    EXPECT_EQ(cudaLaunch(&unregistered), cudaErrorInvalidDeviceFunction);
    // The launch consumed the configuration: a second launch is refused.
    EXPECT_EQ(cudaLaunch(registeredEntry("gpuKernelAdd_Source")), cudaErrorInvalidConfiguration);
    EXPECT_EQ(cudaConfigureCall(dim3(0), dim3(32)), cudaErrorInvalidConfiguration);
}

TEST_F(RuntimeTest, KernelsAreRegisteredInTheirStartUpOrder) {
    const char* expected[] = {"gpuKernelProjectStep3", "gpuKernelProjectStep2", "gpuKernelProjectStep1",
                              "gpuKernelAdvect",       "gpuKernelDiffuse",      "gpuKernelAdd_Source"};
    ASSERT_EQ(registeredKernelCount(), 6);
    for (int k = 0; k < 6; ++k) EXPECT_STREQ(registeredKernelName(k), expected[k]);
    // Registering again does not duplicate entries.
    registerFluidKernels();
    EXPECT_EQ(registeredKernelCount(), 6);
}

TEST_F(RuntimeTest, HostLaunchRefusesBuffersTooSmallForTheGridOrAWrongShape) {
    DevicePtr small, x;
    ASSERT_EQ(cudaMalloc(&small, 16), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&x, bytesPerField), cudaSuccess);
    const void* entry = registeredEntry("gpuKernelAdd_Source");
    const int n = N;
    const float step = 1.0f;

    // A source buffer of 4 cells cannot serve a 16384-cell launch.
    ASSERT_EQ(cudaConfigureCall(dim3(512), dim3(32)), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&n, 4, 0), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&x, 4, 4), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&small, 4, 8), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&step, 4, 12), cudaSuccess);
    EXPECT_EQ(cudaLaunch(entry), cudaErrorInvalidValue);

    // One thread short of one per cell is outside the kernel's limits.
    ASSERT_EQ(cudaConfigureCall(dim3(511), dim3(32)), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&n, 4, 0), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&x, 4, 4), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&x, 4, 8), cudaSuccess);
    ASSERT_EQ(cudaSetupArgument(&step, 4, 12), cudaSuccess);
    EXPECT_EQ(cudaLaunch(entry), cudaErrorInvalidConfiguration);

    EXPECT_EQ(cudaFree(small), cudaSuccess);
    EXPECT_EQ(cudaFree(x), cudaSuccess);
}

TEST_F(RuntimeTest, HostRefusesLaunchesWithUnusableBuffersOrShapes) {
    // The same table of launches the CUDA backend must refuse (GpuComparison.h),
    // through the same decoder; a refused launch writes nothing.
    gpucompare::Report r;
    gpucompare::checkRefusals(r);
    EXPECT_GT(r.cases, 5);
    for (const std::string& fault : r.faults) ADD_FAILURE() << fault;
}

TEST_F(RuntimeTest, EveryPairOfBufferArgumentsIsRefusedOrGivesTheReferencesResult) {
    // The kernels' buffer arguments, counted from their launch functions.
    const int buffersOf[launcharguments::kernelIdCount] = {2, 3, 5, 5, 3, 4};
    int seen[launcharguments::kernelIdCount][5][5] = {};
    for (const launcharguments::SharedBufferRule& rule : launcharguments::sharedBufferRules) {
        const int k = static_cast<int>(rule.kernel);
        ASSERT_TRUE(rule.first >= 0 && rule.first < rule.second && rule.second < buffersOf[k]) << k;
        ++seen[k][rule.first][rule.second];
    }
    for (int k = 0; k < launcharguments::kernelIdCount; ++k)
        for (int a = 0; a < buffersOf[k]; ++a)
            for (int b = a + 1; b < buffersOf[k]; ++b) EXPECT_EQ(seen[k][a][b], 1) << k << ": " << a << ", " << b;

    // Refused pairs are refused and write nothing; every other pair gives
    // the fast kernels the reference's result (the GPU tests hold the CUDA
    // backend to the same).
    gpucompare::Report r;
    gpucompare::compareSharedBuffers(&hostBackend(), &fastKernels(), {1, 2}, r);
    EXPECT_GT(r.cases, 100);
    for (const std::string& fault : r.faults) ADD_FAILURE() << fault;
}

TEST_F(RuntimeTest, ALaunchFailureIsSaidOnceForEachKernelStageAndCause) {
    struct Row {
        const char *kernel, *stage, *cause;
        bool said;
    };
    const Row rows[] = {
        {"gpuKernelAdvect", "was not started", "cudaErrorCooperativeLaunchTooLarge", true},
        {"gpuKernelAdvect", "was not started", "cudaErrorCooperativeLaunchTooLarge", false},
        {"gpuKernelAdvect", "failed while it ran", "cudaErrorCooperativeLaunchTooLarge", true},
        {"gpuKernelAdvect", "was not started", "cudaErrorInvalidValue", true},
        {"gpuKernelDiffuse", "was not started", "cudaErrorInvalidValue", true},
        {"gpuKernelAdvect", "was not started", "cudaErrorInvalidValue", false},
    };
    const long before = launchFailureCount();
    std::string expected;
    testing::internal::CaptureStderr();
    for (const Row& r : rows) {
        EXPECT_EQ(reportLaunchFailure(r.kernel, r.stage, r.cause, "why"), r.said) << r.kernel << " " << r.cause;
        if (r.said) expected += std::string("fluid: ") + r.kernel + " " + r.stage + ": " + r.cause + " (why)\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    EXPECT_EQ(launchFailureCount() - before, 6);
}

TEST_F(RuntimeTest, TheEnvironmentCanAskForTheHostBackend) {
    // This machine may or may not have a CUDA device: without one, every
    // request ends on the host backend; with one, only "host" does.
    const bool device = gpuBackend() != nullptr;
    struct Case {
        const char* value;  // nullptr: unset
        bool host;
    };
    const Case cases[] = {{nullptr, !device}, {"host", true}, {"cuda", !device}, {"HOST", !device}};
    for (const Case& c : cases) {
        if (c.value)
            setenv("FLUID_BACKEND", c.value, 1);
        else
            unsetenv("FLUID_BACKEND");
        EXPECT_EQ(&chooseBackend(), c.host ? &hostBackend() : gpuBackend()) << (c.value ? c.value : "unset");
        EXPECT_EQ(&currentBackend(), c.host ? &hostBackend() : gpuBackend());
    }
    unsetenv("FLUID_BACKEND");
    setBackend(nullptr);
}
