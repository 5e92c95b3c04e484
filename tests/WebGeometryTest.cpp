// WebGeometryTest.cpp - the page's vertex arrays (frontend/web/WebGeometry.h):
// the cells' quad puts each texel on its cell's cellSize square, the depths
// keep the per-cell order, and velocity lines end where the desktop's do.
#include <gtest/gtest.h>

#include <vector>

#include "CellColours.h"
#include "FieldPicture.h"
#include "FrontEndState.h"
#include "WebGeometry.h"

namespace {

// Clip coordinates back to window pixels.
float pixelX(const float* v) { return (v[0] + 1.0f) * 0.5f * static_cast<float>(windowWidth); }
float pixelY(const float* v) { return (v[1] + 1.0f) * 0.5f * static_cast<float>(windowHeight); }

class WebGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        setWindowSize(512, 512);
    }
};

// Each pixel of the quad must sample its own cell's texel: the quad's edges
// lie on the outer cells' edges and its texture spans exactly N texels.
TEST_F(WebGeometry, TheGridQuadPutsEveryCellsTexelOnItsSquare) {
    float position[gridQuadVertexCount][3], texel[gridQuadVertexCount][2];
    fillGridQuad(position, texel);
    for (int k = 0; k < gridQuadVertexCount; ++k) {
        const float x = pixelX(position[k]), y = pixelY(position[k]);
        const bool right = texel[k][0] == 1.0f, top = texel[k][1] == 1.0f;
        EXPECT_TRUE(right || texel[k][0] == 0.0f);
        EXPECT_TRUE(top || texel[k][1] == 0.0f);
        EXPECT_NEAR(x, (right ? N + 1 : 1) * cellSize, 1e-3) << k;
        EXPECT_NEAR(y, (top ? N + 1 : 1) * cellSize, 1e-3) << k;
    }
}

TEST_F(WebGeometry, DepthsFallInThePerCellOrder) {
    std::vector<float> outline(3 * outlineVertexCount), line(3 * velocityLineVertexCount);
    static float rgba[cellColourCount][4];
    for (auto& texel : rgba) texel[3] = 1.0f;  // every cell draws a quad
    rgba[cellColourIndex(5, 7)][3] = 0.0f;     // but this one
    putQuadDepths(rgba);
    EXPECT_EQ(rgba[cellColourIndex(5, 7)][3], -1.0f);
    fillOutlines(reinterpret_cast<float(*)[3]>(outline.data()));
    fillVelocityLines(reinterpret_cast<float(*)[3]>(line.data()));
    float previous = 2.0f;
    int cell = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++cell) {
            const float quad = rgba[cellColourIndex(i, j)][3];
            // Window depths: the lines' clip z mapped as the GL maps it.
            const float order[3] = {quad, (line[3 * 2 * cell + 2] + 1.0f) * 0.5f,
                                    (outline[3 * 8 * cell + 2] + 1.0f) * 0.5f};
            for (int d = quad < 0.0f ? 1 : 0; d < 3; ++d) {
                EXPECT_LT(order[d], previous) << "cell " << i << ", " << j;  // a later drawing is nearer
                previous = order[d];
            }
        }
}

TEST_F(WebGeometry, VelocityLinesRunFromTheCentreToTheLineEnd) {
    const int i = 40, j = 90;
    u[IX(i, j)] = 0.75f;
    v[IX(i, j)] = -0.5f;
    std::vector<float> line(3 * velocityLineVertexCount);
    fillVelocityLines(reinterpret_cast<float(*)[3]>(line.data()));
    const int index = (N - i) * N + (j - 1);
    const float* from = &line[3 * 2 * index];
    const float* to = from + 3;
    const LineEnd end = velocityLineEnd(IX(i, j));
    EXPECT_NEAR(pixelX(from), cellCentre(j), 1e-3);
    EXPECT_NEAR(pixelY(from), cellCentre(i), 1e-3);
    EXPECT_NEAR(pixelX(to), cellCentre(j) + end.x, 1e-3);
    EXPECT_NEAR(pixelY(to), cellCentre(i) + end.y, 1e-3);
    u[IX(i, j)] = v[IX(i, j)] = 0.0f;
}

}  // namespace
