// WebGeometryTest.cpp - the page's vertex arrays (frontend/web/WebGeometry.h)
// and the velocity lines it shares with the desktop (CellGeometry.h): the
// cells' quad puts each texel on its cell's cellSize square, the depths keep
// the per-cell order, and velocity lines run from the cell's centre to where
// its velocity points.
#include <gtest/gtest.h>

#include <vector>

#include "CellColours.h"
#include "CellGeometry.h"
#include "FrontEndState.h"
#include "WebGeometry.h"

namespace {

// Clip coordinates back to window pixels.
float pixelX(const float* v) { return (v[0] + 1.0f) * 0.5f * static_cast<float>(windowWidth); }
float pixelY(const float* v) { return (v[1] + 1.0f) * 0.5f * static_cast<float>(windowHeight); }

class WebGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        setWindowSize(startWindowSide, startWindowSide);
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
    std::vector<float> outline(3 * outlineVertexCount);
    std::vector<Vertex> line(velocityLineVertexCount);
    static float rgba[cellColourCount][4];
    for (auto& texel : rgba) texel[3] = 1.0f;  // every cell draws a quad
    rgba[cellColourIndex(5, 7)][3] = 0.0f;     // but this one
    putQuadDepths(rgba);
    EXPECT_EQ(rgba[cellColourIndex(5, 7)][3], -1.0f);
    fillOutlines(reinterpret_cast<float(*)[3]>(outline.data()));
    putVelocityLines(line.data());
    float previous = 2.0f;
    int cell = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++cell) {
            const float quad = rgba[cellColourIndex(i, j)][3];
            // Window depths: the lines' clip z mapped as the GL maps it.
            const float order[3] = {quad, (line[2 * cell].z + 1.0f) * 0.5f,
                                    (outline[3 * 8 * cell + 2] + 1.0f) * 0.5f};
            for (int d = quad < 0.0f ? 1 : 0; d < 3; ++d) {
                EXPECT_LT(order[d], previous) << "cell " << i << ", " << j;  // a later drawing is nearer
                previous = order[d];
            }
        }
}

// Cell (i, j)'s centre is (j + 1/2, i + 1/2) cell edges from the lower left
// corner, and its line reaches 10 cell edges per unit of velocity, u along x
// and v along y: worked out by hand for two window sizes.
TEST_F(WebGeometry, VelocityLinesRunFromTheCentreToWhereTheVelocityPoints) {
    const struct {
        int width, height;
        float fromX, fromY, toX, toY;
    } cases[] = {
        {512, 512, 362.0f, 162.0f, 392.0f, 142.0f},  // cellSize 4: 0.75 * 40 across, -0.5 * 40 up
        {800, 600, 543.0f, 243.0f, 588.0f, 213.0f},  // cellSize 6: 0.75 * 60, -0.5 * 60
    };
    const int i = 40, j = 90;
    u[IX(i, j)] = 0.75f;
    v[IX(i, j)] = -0.5f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        setWindowSize(c.width, c.height);
        std::vector<Vertex> line(velocityLineVertexCount);
        putVelocityLines(line.data());
        const int index = (N - i) * N + (j - 1);  // rows from the top, then columns
        const float from[2] = {line[2 * index].x, line[2 * index].y};
        const float to[2] = {line[2 * index + 1].x, line[2 * index + 1].y};
        EXPECT_NEAR(pixelX(from), c.fromX, 1e-3);
        EXPECT_NEAR(pixelY(from), c.fromY, 1e-3);
        EXPECT_NEAR(pixelX(to), c.toX, 1e-3);
        EXPECT_NEAR(pixelY(to), c.toY, 1e-3);
    }
    u[IX(i, j)] = v[IX(i, j)] = 0.0f;
}

}  // namespace
