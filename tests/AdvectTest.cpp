// The advection kernel: back-tracing, clamping, obstacle reflection and borders.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestSupport.h"

using namespace testsupport;

namespace {

const KernelSet& ref = referenceKernels();
constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();

struct AdvectCase {
    FloatField d = floatField(-5.0f);  // leftovers that a launch must overwrite
    FloatField d0 = floatField(0.0f);
    FloatField u = floatField(0.0f), v = floatField(0.0f);
    MaskField mask = maskField(0);
    void run(int b) { ref.advect(N, b, d.data(), d0.data(), u.data(), v.data(), 0.2f, mask.data()); }
};

}  // namespace

TEST(Advect, AtRestAFluidCellKeepsItsValueExactly) {
    AdvectCase c;
    for (int t = 0; t < cellsPerField; ++t) c.d0[t] = 0.1f * static_cast<float>(t % 101) - 3.0f;
    c.run(0);
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) ASSERT_EQ(c.d[IX(i, j)], c.d0[IX(i, j)]);
}

TEST(Advect, TraceIsClampedHalfwayToTheBorderCell) {
    AdvectCase c;
    c.d0[IX(0, 30)] = 8.0f;
    c.d0[IX(1, 30)] = 4.0f;
    c.u[IX(1, 30)] = 10.0f;  // traces far beyond the left edge
    c.d0[IX(N, 31)] = 2.0f;
    c.d0[IX(N + 1, 31)] = 6.0f;
    c.u[IX(N, 31)] = -10.0f;  // and beyond the right edge
    c.d0[IX(20, 0)] = 1.0f;
    c.d0[IX(20, 1)] = 3.0f;
    c.v[IX(20, 1)] = inf;  // infinite speed still lands on the bound
    c.run(0);
    EXPECT_EQ(c.d[IX(1, 30)], 6.0f);
    EXPECT_EQ(c.d[IX(N, 31)], 4.0f);
    EXPECT_EQ(c.d[IX(20, 1)], 2.0f);
}

TEST(Advect, NaNVelocityGivesNaNAndSamplesInsideTheField) {
    AdvectCase c;
    c.d0 = floatField(1.0f);
    c.u[IX(5, 5)] = quietNaN;
    c.v[IX(7, 9)] = quietNaN;
    c.u[IX(N, N)] = -inf;
    c.v[IX(N, N)] = inf;
    c.run(0);
    EXPECT_TRUE(std::isnan(c.d[IX(5, 5)]));
    EXPECT_TRUE(std::isnan(c.d[IX(7, 9)]));
    EXPECT_EQ(c.d[IX(N, N)], 1.0f);
    EXPECT_EQ(c.d[IX(6, 6)], 1.0f);
}

TEST(Advect, SolidCellsGetZeroAndSolidSamplesCountAsTheyAre) {
    AdvectCase c;
    c.d0 = floatField(2.0f);
    c.d0[IX(11, 10)] = 10.0f;
    c.mask[IX(11, 10)] = 1;  // solid, but its d0 value is still sampled
    c.mask[IX(40, 40)] = 1;
    c.u[IX(40, 40)] = 3.0f;
    c.u[IX(10, 10)] = -0.5f / (0.2f * 126.0f);  // half a cell towards i + 1
    c.run(0);
    EXPECT_EQ(c.d[IX(40, 40)], 0.0f);
    EXPECT_EQ(c.d[IX(11, 10)], 0.0f);
    EXPECT_NEAR(c.d[IX(10, 10)], 6.0f, 1e-5f);
}

TEST(Advect, DensityReflectsOffTheSolidNeighbourOnTheSideOfItsSign) {
    // Four cells at rest, each testing one combination of sign and neighbour.
    AdvectCase c;
    c.d0[IX(10, 20)] = 3.0f;   // positive, (i, j+1) solid -> negated
    c.mask[IX(10, 21)] = 1;
    c.d0[IX(30, 20)] = 3.0f;   // positive, only (i, j-1) solid -> kept
    c.mask[IX(30, 19)] = 1;
    c.d0[IX(50, 20)] = -3.0f;  // negative, (i, j-1) solid -> negated
    c.mask[IX(50, 19)] = 1;
    c.d0[IX(70, 20)] = -3.0f;  // negative, only (i, j+1) solid -> kept
    c.mask[IX(70, 21)] = 1;
    c.d0[IX(90, 20)] = 0.0f;   // zero never flips
    c.mask[IX(90, 21)] = 1;
    c.mask[IX(90, 19)] = 1;
    c.d0[IX(5, N)] = 1.5f;     // the border counts when its mask is set
    c.mask[IX(5, N + 1)] = 1;
    AdvectCase copy = c;
    c.run(1);
    EXPECT_EQ(c.d[IX(10, 20)], -3.0f);
    EXPECT_EQ(c.d[IX(30, 20)], 3.0f);
    EXPECT_EQ(c.d[IX(50, 20)], 3.0f);
    EXPECT_EQ(c.d[IX(70, 20)], -3.0f);
    EXPECT_EQ(c.d[IX(90, 20)], 0.0f);
    EXPECT_FALSE(std::signbit(c.d[IX(90, 20)]));
    EXPECT_EQ(c.d[IX(5, N)], -1.5f);
    // The velocity mode never reflects.
    copy.run(0);
    EXPECT_EQ(copy.d[IX(10, 20)], 3.0f);
    EXPECT_EQ(copy.d[IX(50, 20)], -3.0f);
}

TEST(Advect, BorderRuleFollowsTheMode) {
    AdvectCase dens, vel;
    for (AdvectCase* c : {&dens, &vel}) {
        c->d0 = floatField(7.0f);
        c->u = floatField(0.01f);
        c->v = floatField(-0.02f);
    }
    dens.run(1);
    vel.run(0);
    for (int t = 0; t < cellsPerField; ++t) {
        if (!isBorderCell(t % (N + 2), t / (N + 2))) continue;
        ASSERT_EQ(dens.d[t], 0.0f) << t;
        ASSERT_NEAR(vel.d[t], 7.0f, 1e-5f) << t;
    }
    for (int k = 1; k <= N; ++k) {
        ASSERT_EQ(vel.d[IX(0, k)], vel.d[IX(1, k)]);
        ASSERT_EQ(vel.d[IX(k, N + 1)], vel.d[IX(k, N)]);
    }
}
