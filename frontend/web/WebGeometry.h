// WebGeometry.h - the vertex arrays and quad depths of the page's drawing
// that only the page uses (the velocity lines are CellGeometry.h's), built
// on the host without GL so that they can be checked natively. Positions are clip
// coordinates with the depth of the drawing's place in the per-cell order
// (CellGeometry.h), as the desktop's batched drawing hands them over.
#pragma once

#include "Fluid.h"

constexpr int gridQuadVertexCount = 6;            // two triangles over all cells
constexpr int outlineVertexCount = 8 * N * N;     // four lines a cell

// One quad over the interior cells' pixels for the current window size, its
// texture coordinates spanning the N x N colour texture (laid out as in
// CellColours.h) so that each cell's pixels take exactly the cell's texel.
void fillGridQuad(float (*position)[3], float (*texel)[2]);

// Turns the colour texture's alpha (1 where a cell draws a quad, 0 where
// not) into the window depth of the cell's quad, or -1 where it draws none.
void putQuadDepths(float (*rgba)[4]);

// Every interior cell's outline for the current window size.
void fillOutlines(float (*position)[3]);
