// CellGeometry.h - the geometry that the desktop's batched drawing and the
// page's drawing share, without GL: the depth that stands for a drawing's
// place in the per-cell order, and vertices transformed on the host exactly
// as the GL transforms the per-cell ones.
#pragma once

#include "FieldPicture.h"
#include "FrontEndState.h"
#include "Fluid.h"

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
