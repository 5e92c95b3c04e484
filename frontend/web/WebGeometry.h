// WebGeometry.h - the vertex arrays of the page's drawing, built on the host
// without GL so that they can be checked natively. Positions are clip
// coordinates with the depth of the drawing's place in the per-cell order
// (BatchedGeometry.h), as the desktop's batched drawing hands them over.
#pragma once

#include "Fluid.h"

constexpr int cellQuadVertexCount = 6 * N * N;    // two triangles a cell
constexpr int outlineVertexCount = 8 * N * N;     // four lines a cell
constexpr int velocityLineVertexCount = 2 * N * N;  // one line a cell

// Every interior cell's quad for the current window size, with texture
// coordinates spanning exactly the cell's texel of the N x N colour texture
// (laid out as in CellColours.h).
void fillCellQuads(float (*position)[3], float (*texel)[2]);

// Every interior cell's outline for the current window size.
void fillOutlines(float (*position)[3]);

// Every interior cell's velocity line for the current fields.
void fillVelocityLines(float (*position)[3]);
