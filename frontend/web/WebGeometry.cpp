// WebGeometry.cpp - cell quads, outlines and velocity lines as arrays, the
// cells in the per-cell drawing's order (rows from the top, then columns).
#include "WebGeometry.h"

#include "BatchedGeometry.h"
#include "FieldPicture.h"

namespace {

void put(float* out, const Vertex& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

// The quad corners of the cell display list, counter-clockwise from top left.
constexpr float cornerX[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
constexpr float cornerY[4] = {1.0f, -1.0f, -1.0f, 1.0f};

}  // namespace

void fillCellQuads(float (*position)[3], float (*texel)[2]) {
    const Projection p;
    const float h = cellHalfEdge();
    const int triangles[6] = {0, 1, 2, 0, 2, 3};
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const float z = slotClipZ(i, j, densityDrawing);
            for (int corner : triangles) {
                put(position[k], p.clip(cellCentre(j), cellCentre(i), cornerX[corner] * h, cornerY[corner] * h, z));
                // Texel (j - 1, i - 1) spans [j - 1, j] x [i - 1, i] over N.
                texel[k][0] = static_cast<float>(cornerX[corner] < 0.0f ? j - 1 : j) / N;
                texel[k][1] = static_cast<float>(cornerY[corner] < 0.0f ? i - 1 : i) / N;
                ++k;
            }
        }
}

void fillOutlines(float (*position)[3]) {
    const Projection p;
    const float h = cellHalfEdge();
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const float z = slotClipZ(i, j, gridDrawing);
            for (int side = 0; side < 4; ++side) {
                const int ends[2] = {side, (side + 1) % 4};
                for (int corner : ends)
                    put(position[k++],
                        p.clip(cellCentre(j), cellCentre(i), cornerX[corner] * h, cornerY[corner] * h, z));
            }
        }
}

void fillVelocityLines(float (*position)[3]) {
    const Projection p;
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const LineEnd end = velocityLineEnd(IX(i, j));
            const float z = slotClipZ(i, j, velocityDrawing);
            put(position[k++], p.clip(cellCentre(j), cellCentre(i), 0.0f, 0.0f, z));
            put(position[k++], p.clip(cellCentre(j), cellCentre(i), end.x, end.y, z));
        }
}
