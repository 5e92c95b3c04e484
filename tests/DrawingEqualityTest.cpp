// The batched drawing against the per-cell drawing in a real GL context:
// both pictures are read back with glReadPixels and compared pixel by pixel,
// for many random fields and every combination of the four view flags.
// Runs under an X server (the test command starts one with xvfb-run).
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "FrameLoop.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "FieldPicture.h"
#include "Palette.h"
#include "DesktopPlatform.h"
#include "GlutGlue.h"
#include "TestSupport.h"

namespace {

int window = 0;

std::vector<unsigned char> drawAndRead(bool perCell) {
    usePerCellDrawing = perCell ? 1 : 0;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawField();
    glFinish();
    std::vector<unsigned char> pixels(static_cast<size_t>(windowWidth) * windowHeight * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Fills the fields with a mix of the values the drawing treats differently.
void randomFields(std::mt19937& rng, int flavour) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> speed(0.0f, flavour == 2 ? 2.0f : 0.05f);
    const float specials[] = {0.33f,
                              0.66f,
                              0.0f,
                              -0.0f,
                              -1.0f,
                              5.0f,
                              1e30f,
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              1e-20f};
    for (int k = 0; k < cellsPerField; ++k) {
        const float r = unit(rng);
        dens[k] = r < 0.1f ? specials[rng() % 10] : (r < 0.3f ? 0.0f : 1.2f * unit(rng));
        u[k] = speed(rng);
        v[k] = speed(rng);
        if (flavour == 3 && rng() % 50 == 0) u[k] = specials[rng() % 10];
        boundary[k] = rng() % 7 == 0 ? static_cast<int>(rng() % 3) : 0;
    }
}

class DrawingEquality : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window) << "no GL window: run under an X server (the test command uses xvfb-run)";
    }
};

void expectSamePictures(const char* what) {
    const auto reference = drawAndRead(true);
    const auto batched = drawAndRead(false);
    size_t differing = 0, first = 0;
    for (size_t p = 0; p < reference.size(); p += 4)
        if (reference[p] != batched[p] || reference[p + 1] != batched[p + 1] || reference[p + 2] != batched[p + 2]) {
            if (!differing) first = p / 4;
            ++differing;
        }
    EXPECT_EQ(differing, 0u) << what << ": first differing pixel at x " << first % windowWidth << ", y "
                             << first / windowWidth;
    // The pictures are not trivially black.
    size_t lit = 0;
    for (size_t p = 0; p < reference.size(); p += 4) lit += reference[p] | reference[p + 1] | reference[p + 2];
    if ((showDensity || showVelocity || showGrid) && cellSize > 0) {
        EXPECT_GT(lit, 0u) << what << ": nothing drawn";
    }
}

}  // namespace

TEST_F(DrawingEquality, EveryViewCombinationOnRandomFields) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 6; ++round) {
        randomFields(rng, round % 4);
        for (int flags = 0; flags < 16; ++flags) {
            showBoundary = flags & 1;
            showDensity = (flags >> 1) & 1;
            showVelocity = (flags >> 2) & 1;
            showGrid = (flags >> 3) & 1;
            SCOPED_TRACE("round " + std::to_string(round) + " flags " + std::to_string(flags));
            expectSamePictures("random fields");
            if (HasFailure()) return;
        }
    }
}

// Every palette, over densities from far below to far above 1.
TEST_F(DrawingEquality, EveryPalette) {
    std::mt19937 rng(31);
    randomFields(rng, 1);
    for (int k = 0; k < cellsPerField; ++k) dens[k] *= static_cast<float>(1 << (k % 12)) / 64.0f;
    showBoundary = showDensity = 1;
    showVelocity = showGrid = 0;
    for (palette = 0; palette < paletteCount; ++palette) {
        SCOPED_TRACE(paletteNames[palette]);
        expectSamePictures("palette");
    }
    palette = 0;
}

TEST_F(DrawingEquality, LongVelocityLinesCrossingManyCells) {
    std::mt19937 rng(99);
    randomFields(rng, 2);
    for (int k = 0; k < cellsPerField; ++k) {
        u[k] *= 20.0f;
        v[k] *= 20.0f;
    }
    showBoundary = showDensity = showVelocity = showGrid = 1;
    expectSamePictures("long lines");
}

// Each size in a window of its own (and so a GL context of its own), then
// the first window again: the drawing's GL objects must follow the context.
TEST_F(DrawingEquality, OtherWindowSizes) {
    const int sizes[][2] = {{800, 600}, {1000, 700}, {300, 700}, {130, 100}, {100, 100}, {1920, 1080}, {1280, 1024}};
    std::mt19937 rng(7);
    randomFields(rng, 1);
    showBoundary = showDensity = showVelocity = showGrid = 1;
    for (const auto& size : sizes) {
        glutInitWindowSize(size[0], size[1]);
        const int sized = glutCreateWindow("drawing equality, resized");
        reshapeWindow(size[0], size[1]);
        expectSamePictures(("window " + std::to_string(size[0]) + " x " + std::to_string(size[1])).c_str());
        glutDestroyWindow(sized);
        glutSetWindow(window);
    }
    reshapeWindow(startWindowSide, startWindowSide);
    expectSamePictures("first window again");
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    platform = desktopPlatform;
    glutglue::openWindow(argc, argv, GLUT_DEPTH);
    window = glutGetWindow();
    reshapeWindow(startWindowSide, startWindowSide);
    return RUN_ALL_TESTS();
}
