// WebGeometryTest.cpp - the page's vertex arrays (frontend/web/WebGeometry.h):
// each cell's quad covers exactly its cellSize square and its texel, the
// depths keep the per-cell order, and velocity lines end where the desktop's do.
#include <gtest/gtest.h>

#include <vector>

#include "FieldPicture.h"
#include "FrontEnd.h"
#include "WebGeometry.h"

namespace {

// Clip coordinates back to window pixels.
float pixelX(const float* v) { return (v[0] + 1.0f) * 0.5f * static_cast<float>(windowWidth); }
float pixelY(const float* v) { return (v[1] + 1.0f) * 0.5f * static_cast<float>(windowHeight); }

class WebGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        windowWidth = 512;
        windowHeight = 512;
        cellSize = cellSizeFor(windowWidth);
    }
};

TEST_F(WebGeometry, CellQuadsCoverTheirSquareAndTheirTexel) {
    std::vector<float> position(3 * cellQuadVertexCount), texel(2 * cellQuadVertexCount);
    fillCellQuads(reinterpret_cast<float(*)[3]>(position.data()), reinterpret_cast<float(*)[2]>(texel.data()));
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j)
            for (int corner = 0; corner < 6; ++corner, ++k) {
                const float* v = &position[3 * k];
                const float x = pixelX(v), y = pixelY(v);
                const bool right = x > cellCentre(j), top = y > cellCentre(i);
                EXPECT_NEAR(x, (j + (right ? 1 : 0)) * cellSize, 1e-3) << i << ", " << j;
                EXPECT_NEAR(y, (i + (top ? 1 : 0)) * cellSize, 1e-3) << i << ", " << j;
                EXPECT_EQ(texel[2 * k] * N, static_cast<float>(right ? j : j - 1));
                EXPECT_EQ(texel[2 * k + 1] * N, static_cast<float>(top ? i : i - 1));
            }
}

TEST_F(WebGeometry, DepthsFallInThePerCellOrder) {
    std::vector<float> quad(3 * cellQuadVertexCount), texel(2 * cellQuadVertexCount);
    std::vector<float> outline(3 * outlineVertexCount), line(3 * velocityLineVertexCount);
    fillCellQuads(reinterpret_cast<float(*)[3]>(quad.data()), reinterpret_cast<float(*)[2]>(texel.data()));
    fillOutlines(reinterpret_cast<float(*)[3]>(outline.data()));
    fillVelocityLines(reinterpret_cast<float(*)[3]>(line.data()));
    float previous = 2.0f;
    for (int cell = 0; cell < N * N; ++cell) {
        const float order[3] = {quad[3 * 6 * cell + 2], line[3 * 2 * cell + 2], outline[3 * 8 * cell + 2]};
        for (float z : order) {
            EXPECT_LT(z, previous) << "cell " << cell;  // a later drawing is nearer
            previous = z;
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
