// WebGeometry.cpp - the cells' quad and outlines as arrays,
// the cells in the per-cell drawing's order (rows from the top, then
// columns), and each cell quad's depth.
#include "WebGeometry.h"

#include "CellColours.h"
#include "CellGeometry.h"
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

void fillGridQuad(float (*position)[3], float (*texel)[2]) {
    // Cell (i, j) covers [j, j + 1) x [i, i + 1) cellSize squares: the quad
    // spans cells 1..N each way, from the centre of cell (1, 1) out.
    const Projection p;
    const float h = cellHalfEdge();
    const float reach = (2 * N - 1) * h;  // from the first cell's centre to the last cell's far edge
    const int triangles[6] = {0, 1, 2, 0, 2, 3};
    for (int k = 0; k < gridQuadVertexCount; ++k) {
        const int corner = triangles[k];
        const bool right = cornerX[corner] > 0.0f, top = cornerY[corner] > 0.0f;
        put(position[k], p.clip(cellCentre(1), cellCentre(1), right ? reach : -h, top ? reach : -h, 0.0f));
        texel[k][0] = right ? 1.0f : 0.0f;
        texel[k][1] = top ? 1.0f : 0.0f;
    }
}

void putQuadDepths(float (*rgba)[4]) {
    for (int i = 1; i <= N; ++i)
        for (int j = 1; j <= N; ++j) {
            float& alpha = rgba[cellColourIndex(i, j)][3];
            alpha = alpha > 0.0f ? slotDepth(i, j, densityDrawing) : -1.0f;
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
