// CellGeometry.h - where the cells lie on the screen, without GL: their
// centres and edges, which every drawing uses, and for the desktop's batched
// drawing and the page's drawing the depth that stands for a drawing's place
// in the per-cell order, vertices transformed on the host exactly as the GL
// transforms the per-cell ones, and the velocity lines built from them.
#pragma once

#include "FieldPicture.h"
#include "Fluid.h"
#include "Window.h"

// Centre of the cells with index k (i or j) along their screen axis, in
// pixels: k * cellSize + cellSize / 2, formed in double precision. The slow
// index j runs along the screen's x axis and the fast index i along y.
inline float cellCentre(int index) {
    return static_cast<float>(index * static_cast<double>(cellSize) + cellSize / 2.0);
}

// Half the edge of a drawn cell, cellSize / 2: the cell quad reaches this far
// from the centre on every side.
inline float cellHalfEdge() { return static_cast<float>(cellSize / 2.0); }

// Every cell makes its drawings in this order; each has a slot of its own.
enum DrawingKind { boundaryDrawing = 0, densityDrawing = 1, velocityDrawing = 2, gridDrawing = 3 };
constexpr int slotCount = 4 * N * N;

// Window depth of a drawing: falls with its place in the per-cell order, so
// the depth test keeps the latest drawing at every pixel whatever order the
// batches are drawn in.
inline float slotDepth(int i, int j, DrawingKind kind) {
    const int slot = 4 * ((N - i) * N + (j - 1)) + kind;
    return static_cast<float>(slotCount - slot) / static_cast<float>(slotCount + 1);
}
// The clip z that the identity projection maps to that window depth.
inline float slotClipZ(int i, int j, DrawingKind kind) { return 2.0f * slotDepth(i, j, kind) - 1.0f; }

struct Vertex {
    float x, y, z;
};

// The reshape projection times a translation to (tx, ty), applied to the
// vertex (vx, vy, 0) as the GL does it in single precision: entries of the
// combined matrix first, then a product and one sum per row. Vertices handed
// over in these clip coordinates under identity matrices are rasterised
// from the same coordinates as the per-cell drawing's.
struct Projection {
    float scaleX, scaleY, offsetX, offsetY;

    Projection() {
        const float left = 0.0f, right = static_cast<float>(windowWidth);
        const float bottom = 0.0f, top = static_cast<float>(windowHeight);
        scaleX = 2.0f / (right - left);
        scaleY = 2.0f / (top - bottom);
        offsetX = -(right + left) / (right - left);
        offsetY = -(top + bottom) / (top - bottom);
    }
    Vertex clip(float tx, float ty, float vx, float vy, float z) const {
        const float mx = scaleX * tx + offsetX;  // translation column of the combined matrix
        const float my = scaleY * ty + offsetY;
        const float zero = 0.0f;
        float cx = scaleX * vx;
        cx = cx + zero * vy;
        cx = cx + mx;
        float cy = zero * vx;
        cy = cy + scaleY * vy;
        cy = cy + my;
        return Vertex{cx, cy, z};
    }
};

// The cell quad of half edge h centred on (tx, ty), counter-clockwise as in
// the cell display list.
inline void putQuad(Vertex* v, const Projection& p, float tx, float ty, float h, float z) {
    v[0] = p.clip(tx, ty, -h, h, z);
    v[1] = p.clip(tx, ty, -h, -h, z);
    v[2] = p.clip(tx, ty, h, -h, z);
    v[3] = p.clip(tx, ty, h, h, z);
}

// Every interior cell's velocity line, two vertices a cell in the per-cell
// order (rows from the top, then columns), each at its velocity slot's depth.
constexpr int velocityLineVertexCount = 2 * N * N;
inline void putVelocityLines(Vertex* v) {
    const Projection p;
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const LineEnd end = velocityLineEnd(IX(i, j));
            const float z = slotClipZ(i, j, velocityDrawing);
            v[k++] = p.clip(cellCentre(j), cellCentre(i), 0.0f, 0.0f, z);
            v[k++] = p.clip(cellCentre(j), cellCentre(i), end.x, end.y, z);
        }
}
