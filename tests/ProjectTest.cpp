// The three projection kernels: divergence, pressure relaxation, gradient
// subtraction, their obstacle sign rules and their copy-rule borders.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KernelBodies.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const KernelSet& ref = referenceKernels();

struct ProjectCase {
    FloatField u = floatField(0.0f), v = floatField(0.0f);
    FloatField p = floatField(123.0f), div = floatField(-9.0f);  // leftovers
    MaskField mask = maskField(0);
    void step1() { ref.projectStep1(N, u.data(), v.data(), p.data(), div.data(), mask.data()); }
    void step2() { ref.projectStep2(N, p.data(), div.data(), mask.data()); }
    void step3() { ref.projectStep3(N, u.data(), v.data(), p.data(), mask.data()); }
};

const float h = 1.0f / 126.0f;

}  // namespace

TEST(Project, RestingFieldHasNoDivergenceNoPressureAndKeepsItsVelocity) {
    ProjectCase c;
    c.step1();
    for (int t = 0; t < cellsPerField; ++t) {
        ASSERT_EQ(c.p[t], 0.0f);
        ASSERT_EQ(c.div[t], 0.0f);
    }
    c.step2();
    for (int t = 0; t < cellsPerField; ++t) ASSERT_EQ(c.p[t], 0.0f);
    // A uniform flow is divergence free: Step3 leaves it and copies the border.
    c.u = floatField(0.0f);
    c.v = floatField(0.0f);
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) c.u[IX(i, j)] = 0.5f, c.v[IX(i, j)] = -0.25f;
    c.step3();
    for (int t = 0; t < cellsPerField; ++t) {
        ASSERT_EQ(c.u[t], 0.5f) << t;
        ASSERT_EQ(c.v[t], -0.25f) << t;
    }
}

TEST(Project, DivergenceValueAndItsFlipAlongI) {
    ProjectCase c;
    c.u[IX(11, 10)] = 1.0f;  // cell (10,10): d = -0.5 h < 0, tests (9,10)
    c.u[IX(31, 10)] = 1.0f;  // cell (30,10): (29,10) solid -> flipped
    c.mask[IX(29, 10)] = 1;
    c.u[IX(49, 10)] = 1.0f;  // cell (50,10): d > 0 and only (49,10) solid -> kept
    c.mask[IX(49, 10)] = 1;
    c.v[IX(70, 11)] = 1.0f;  // cell (70,10): negative d along j, (70,9) solid does not matter
    c.mask[IX(70, 9)] = 1;
    c.step1();
    const float d = (-0.5f * h) * 1.0f;
    EXPECT_NEAR(d, -0.0039683f, 1e-7f);
    EXPECT_EQ(c.div[IX(10, 10)], d);
    EXPECT_EQ(c.div[IX(30, 10)], -d);
    EXPECT_EQ(c.div[IX(50, 10)], -d);
    EXPECT_EQ(c.div[IX(70, 10)], d);
    EXPECT_EQ(c.div[IX(49, 10)], 0.0f);  // solid
    for (int t = 0; t < cellsPerField; ++t) ASSERT_EQ(c.p[t], 0.0f) << "pressure cleared everywhere";
}

TEST(Project, PressureSweepsFlipAlongJAndHoldSolidsAtZero) {
    ProjectCase c;
    c.div = floatField(0.0f);
    c.p = floatField(0.0f);
    c.div[IX(20, 20)] = 1.0f;  // q > 0 with (20,21) solid -> negated
    c.mask[IX(20, 21)] = 1;
    c.div[IX(40, 20)] = 1.0f;  // q > 0 with (41,20) solid: along i, ignored
    c.mask[IX(41, 20)] = 1;
    c.div[IX(60, 60)] = 4.0f;  // solid cell: stays 0
    c.mask[IX(60, 60)] = 1;
    ProjectCase once = c;
    c.step2();
    EXPECT_LT(c.p[IX(20, 20)], 0.0f);
    EXPECT_GT(c.p[IX(40, 20)], 0.0f);
    EXPECT_EQ(c.p[IX(60, 60)], 0.0f);
    EXPECT_EQ(c.p[IX(20, 21)], 0.0f);
    // The first sweep alone gives q = div / 4 exactly, before neighbours join in.
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) kernel::projectStep2Cell(N, IX(i, j), once.p.data(), once.div.data(), once.mask.data());
    EXPECT_EQ(once.p[IX(20, 20)], -0.25f);
    EXPECT_EQ(once.p[IX(40, 20)], 0.25f);
    // A symmetric setup stays symmetric across every side (no lopsided border).
    ProjectCase sym;
    sym.div = floatField(0.0f);
    sym.div[IX(1, 1)] = sym.div[IX(N, 1)] = sym.div[IX(1, N)] = sym.div[IX(N, N)] = 1.0f;
    sym.step2();
    const float corner = sym.p[IX(1, 1)];
    EXPECT_GT(corner, 0.25f);
    EXPECT_NEAR(sym.p[IX(N, 1)], corner, 1e-6f);
    EXPECT_NEAR(sym.p[IX(1, N)], corner, 1e-6f);
    EXPECT_NEAR(sym.p[IX(N, N)], corner, 1e-6f);
    EXPECT_NEAR(sym.p[IX(0, 0)], sym.p[IX(N + 1, N + 1)], 1e-6f);
}

TEST(Project, GradientOf63AndTheCrossAxisObstacleTests) {
    ProjectCase c;
    c.p = floatField(0.0f);
    c.u = floatField(0.0f);
    c.v = floatField(0.0f);
    c.p[IX(11, 10)] = 1.0f;  // cell (10,10): gx ~ 63, u drops by 63
    c.p[IX(31, 10)] = 1.0f;  // cell (30,10): (30,11) solid -> u rises by 63
    c.mask[IX(30, 11)] = 1;
    c.p[IX(51, 10)] = 1.0f;  // cell (50,10): (51,10) solid does not affect u
    c.mask[IX(51, 10)] = 1;
    c.p[IX(70, 11)] = 1.0f;  // cell (70,10): gy ~ 63 > 0, (71,10) solid -> v rises
    c.mask[IX(71, 10)] = 1;
    c.p[IX(90, 11)] = 1.0f;  // cell (90,10): constant along i: u unchanged
    c.p[IX(91, 10)] = c.p[IX(89, 10)] = 2.0f;
    c.mask[IX(90, 9)] = c.mask[IX(90, 11)] = 1;
    c.u[IX(90, 10)] = 0.75f;
    c.step3();
    const float gx = (0.5f * 1.0f) / h;
    EXPECT_NEAR(gx, 63.0f, 1e-4f);
    EXPECT_EQ(c.u[IX(10, 10)], -gx);
    EXPECT_EQ(c.u[IX(30, 10)], gx);
    EXPECT_EQ(c.u[IX(50, 10)], -gx);
    EXPECT_EQ(c.v[IX(70, 10)], gx);
    EXPECT_EQ(c.u[IX(70, 10)], 0.0f);
    EXPECT_EQ(c.u[IX(90, 10)], 0.75f);
    EXPECT_EQ(c.u[IX(51, 10)], 0.0f);  // solid
    EXPECT_EQ(c.v[IX(51, 10)], 0.0f);
}

TEST(Project, BordersTakeCopiesNotZerosAndCornersAverageSideCopies) {
    ProjectCase c;
    c.p = floatField(0.0f);
    for (int j = 1; j <= N; ++j)
        for (int i = 1; i <= N; ++i) c.u[IX(i, j)] = static_cast<float>(i * 3 + j), c.v[IX(i, j)] = -1.0f;
    c.step3();
    for (int k = 1; k <= N; ++k) {
        EXPECT_EQ(c.u[IX(N + 1, k)], c.u[IX(N, k)]);
        EXPECT_EQ(c.u[IX(k, 0)], c.u[IX(k, 1)]);
        EXPECT_EQ(c.v[IX(0, k)], -1.0f);
    }
    EXPECT_EQ(c.u[IX(0, 0)], 0.5f * (c.u[IX(1, 0)] + c.u[IX(0, 1)]));
    EXPECT_EQ(c.u[IX(0, 0)], c.u[IX(1, 1)]);
}

TEST(Project, NaNTakesTheUnflippedPath) {
    ProjectCase c;
    c.u[IX(11, 10)] = std::numeric_limits<float>::quiet_NaN();
    c.mask[IX(9, 10)] = c.mask[IX(11, 10)] = 1;
    c.step1();
    EXPECT_TRUE(std::isnan(c.div[IX(10, 10)]));
    EXPECT_EQ(c.div[IX(11, 10)], 0.0f);
}
