// The CUDA backend against the host backend: each kernel alone and whole
// steps on random fields and masks, every downloaded field compared bit for
// bit (GpuComparison.h, which the stand-alone gpu_check shares), and the
// backend's refusals. Every test is skipped when gpuBackend() offers no
// backend (no CUDA device, or a build without the CUDA backend).
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "DeviceRuns.h"
#include "DeviceRuntime.h"
#include "GpuBackend.h"
#include "GpuComparison.h"
#include "TestSupport.h"

using namespace fluidrt;
using gpucompare::Report;
using testsupport::bitsOf;

namespace {

// Every fault of the report is a failure of the test.
void expectClean(const Report& r, const std::string& what) {
    EXPECT_GT(r.cases, 0) << what << ": nothing was compared";
    for (const std::string& fault : r.faults) ADD_FAILURE() << what << ": " << fault;
}

class GpuBackendTest : public testing::Test {
  protected:
    void SetUp() override {
        gpu = gpuBackend();
        if (!gpu) GTEST_SKIP() << "no CUDA device";
    }
    void TearDown() override {
        setBackend(nullptr);
        setOperationObserver(nullptr);
        clearFaults();
    }
    const Backend* gpu = nullptr;
};

}  // namespace

TEST_F(GpuBackendTest, EachKernelMatchesTheHostBitForBit) {
    Report r;
    gpucompare::compareEachKernel(gpu, N, dim3(launchGroups), dim3(threadsPerGroup), {1, 2, 3, 4}, r);
    expectClean(r, std::to_string(launchGroups) + " x " + std::to_string(threadsPerGroup));
}

TEST_F(GpuBackendTest, OtherGridsAndLaunchShapesMatchTheHost) {
    Report r;
    gpucompare::compareOtherShapes(gpu, false, r);
    expectClean(r, "other shapes");
}

TEST_F(GpuBackendTest, SinglePassKernelsMatchTheHostAsThreeLaunchesAndCooperatively) {
    for (SinglePassLaunch how : {SinglePassLaunch::ThreeLaunches, SinglePassLaunch::Cooperative}) {
        if (how == SinglePassLaunch::Cooperative && !cooperativeLaunchOffered()) continue;
        setSinglePassLaunch(how);
        Report r;
        gpucompare::compareEachKernel(gpu, N, dim3(launchGroups), dim3(threadsPerGroup), {1, 2}, r);
        gpucompare::compareEachKernel(gpu, 1022, dim3(32768), dim3(32), {10}, r);
        setSinglePassLaunch(SinglePassLaunch::Automatic);
        expectClean(r, how == SinglePassLaunch::ThreeLaunches ? "three launches" : "cooperative");
    }
}

TEST_F(GpuBackendTest, SharedBufferArgumentsAreRefusedOrMatchTheHost) {
    Report r;
    gpucompare::compareSharedBuffers(gpu, nullptr, {1, 2}, r);
    expectClean(r, "shared buffers");
}

TEST_F(GpuBackendTest, WholeStepsMatchTheHostBitForBit) {
    Report r;
    gpucompare::compareRandomScenes(gpu, 4, r);
    gpucompare::compareScenario(gpu, 1, 40, r);
    expectClean(r, "whole steps");
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
    Report r;
    gpucompare::checkRefusals(r);
    expectClean(r, "refusals");

    // A row without a device run, and a short argument block.
    LaunchShape shape;
    shape.grid = dim3(launchGroups);
    shape.block = dim3(threadsPerGroup);
    ArgumentBlock args{};
    DevicePtr x;
    ASSERT_EQ(cudaMalloc(&x, bytesPerField), cudaSuccess);
    const int n = N;
    std::memcpy(args.bytes, &n, sizeof n);
    std::memcpy(args.bytes + 4, &x, sizeof x);
    args.used = 8;
    EXPECT_NE(gpu->launch(KernelRow{"gpuKernelNoSuchThing", nullptr, nullptr}, shape, args), cudaSuccess);
    EXPECT_NE(gpu->launch(KernelRow{"gpuKernelAdd_Source", nullptr, deviceRuns.addSource}, shape, args), cudaSuccess);
    EXPECT_EQ(cudaFree(x), cudaSuccess);
}

// The comparisons themselves, with the host backend standing in for the GPU:
// a backend equal to the host's must pass every one, and one whose downloads
// change a single bit must fail every one, so that the GPU check cannot pass
// by comparing nothing.
namespace {
cudaError_t copyToHostWithABitFlipped(void* dst, DevicePtr src, std::size_t bytes) {
    const cudaError_t status = hostBackend().copyToHost(dst, src, bytes);
    if (status == cudaSuccess && bytes >= 8) static_cast<unsigned char*>(dst)[bytes / 2] ^= 1u;
    return status;
}
}  // namespace

TEST(GpuComparison, PassesAnEqualBackendAndFailsOneThatDiffersInOneBit) {
    Backend equal = hostBackend();
    equal.name = "host as GPU";
    Backend flipping = equal;
    flipping.name = "host with a bit flipped";
    flipping.copyToHost = copyToHostWithABitFlipped;
    using Compare = void (*)(const Backend*, Report&);
    const struct {
        const char* what;
        Compare compare;
    } groups[] = {
        {"each kernel",
         [](const Backend* b, Report& r) { gpucompare::compareEachKernel(b, 14, dim3(8), dim3(32), {9}, r); }},
        {"random scenes", [](const Backend* b, Report& r) { gpucompare::compareRandomScenes(b, 1, r); }},
        {"scenario", [](const Backend* b, Report& r) { gpucompare::compareScenario(b, 1, 3, r); }},
        {"shared buffers", [](const Backend* b, Report& r) { gpucompare::compareSharedBuffers(b, nullptr, {1}, r); }},
    };
    for (const auto& g : groups) {
        Report same, different;
        g.compare(&equal, same);
        g.compare(&flipping, different);
        EXPECT_GT(same.cases, 0) << g.what;
        EXPECT_TRUE(same.clean()) << g.what << ": " << (same.faults.empty() ? "" : same.faults[0]);
        EXPECT_EQ(different.cases, same.cases) << g.what;
        EXPECT_FALSE(different.clean()) << g.what << ": a one-bit difference went unnoticed";
    }
    setBackend(nullptr);
}
